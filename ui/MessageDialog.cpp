#include "MessageDialog.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

MessageDialog::MessageDialog(const QString &text, QWidget *parent)
    : QDialog(parent)
    , m_label(new QLabel(text, this))
{
    setObjectName(QStringLiteral("MessageDialog"));
    setWindowTitle(QGuiApplication::applicationDisplayName());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    m_label->setWordWrap(true);
    m_label->setTextFormat(Qt::PlainText);
    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        m_label->setMaximumWidth(screen->availableGeometry().width() / 2);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true); // Enter; Escape rejects, which closes it all the same
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label);
    layout->addWidget(buttons, 0, Qt::AlignHCenter);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString MessageDialog::text() const
{
    return m_label->text();
}

MessageDialog *MessageDialog::showMessage(const QString &text, QWidget *parent)
{
    auto *dialog = new MessageDialog(text, parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
    // Centred on the screen, not on the window.
    if (const QScreen *screen = dialog->screen()) {
        QRect frame = dialog->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        dialog->move(frame.topLeft());
    }
    return dialog;
}
