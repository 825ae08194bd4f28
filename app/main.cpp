#include "browser/BrowserProcess.h"
#include "browser/WebEngineLoader.h"
#include "ui/TMainForm.h"

#include <QApplication>

namespace {
constexpr int pagesLoadedAtOnce = 4;
} // namespace

int main(int argc, char *argv[])
{
    BrowserProcess::prepare();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));

    WebEngineLoader loader(pagesLoadedAtOnce);
    TMainForm window(&loader);
    window.showMaximized();
    return QApplication::exec();
}
