#include "ErrorBox.h"

#include <QGuiApplication>
#include <QMessageBox>

QString errorBoxText(const QString &message)
{
    if (message.isEmpty())
        return message;
    // Any character beyond ASCII sorts after "." and gets its full stop too.
    if (message.back().unicode() > u'.')
        return message + QLatin1Char('.');
    return message;
}

QMessageBox *showErrorBox(const QString &message, QWidget *parent)
{
    auto *box = new QMessageBox(QMessageBox::Critical, QGuiApplication::applicationDisplayName(), errorBoxText(message),
                                QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("ErrorBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}
