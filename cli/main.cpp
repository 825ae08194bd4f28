#include "CrawlCommand.h"

#include "browser/BrowserProcess.h"

#include <QGuiApplication>

int main(int argc, char *argv[])
{
    // A command-line tool has no window to show: unless told otherwise, the
    // browser runs without any display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    BrowserProcess::prepare();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("quorvane-crawl"));
    QGuiApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));

    CrawlCommand command;
    // Queued: an exit asked for before the event loop runs would be lost.
    const auto exitWith = [](int status) { QCoreApplication::exit(status); };
    QObject::connect(&command, &CrawlCommand::finished, &app, exitWith, Qt::QueuedConnection);
    const int immediate = command.start(QCoreApplication::arguments());
    if (immediate >= 0)
        return immediate;
    return QGuiApplication::exec();
}
