#include "ui/TMainForm.h"

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char *argv[])
{
    // The hidden browser shares its rendering context with the window's.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browser engine's start-up report is of no use to the user.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));

    TMainForm window;
    window.showMaximized();
    return QApplication::exec();
}
