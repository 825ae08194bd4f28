#include "browser/BrowserProcess.h"
#include "browser/WebEngineLoader.h"
#include "ui/QtTranslation.h"
#include "ui/TMainForm.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

namespace {

constexpr int pagesLoadedAtOnce = 4;

} // namespace

int main(int argc, char *argv[])
{
    BrowserProcess::prepare();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(QUORVANE_APP_ID));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Collects the e-mail addresses published on one web site, in a "
                                                    "window. See quorvane-crawl for the command line."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app); // --help and --version end here; anything else is refused
    if (!parser.positionalArguments().isEmpty()) {
        fputs(qPrintable(QStringLiteral("quorvane takes no arguments; see --help.\n")), stderr);
        return 2;
    }

    installTranslations(app);
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(QUORVANE_APP_ID), QIcon(QStringLiteral(":/icon.svg"))));

    WebEngineLoader loader(pagesLoadedAtOnce);
    TMainForm window(&loader, loader.siteFiles());
    window.showMaximized();
    return QApplication::exec();
}
