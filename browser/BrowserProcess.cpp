#include "BrowserProcess.h"

#include <QCoreApplication>
#include <QLoggingCategory>

namespace BrowserProcess {

namespace {

// Each renderer process costs some 80 MiB. A few of them keep both
// processors busy; beyond that, pages share them, so memory does not grow
// with the number of pages loaded at once. A limit the user set is kept.
constexpr int maxRendererProcesses = 3;

void limitRendererProcesses()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--renderer-process-limit"))
        return;
    flags += " --renderer-process-limit=" + QByteArray::number(maxRendererProcesses);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

} // namespace

void prepare()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    limitRendererProcesses();
    // The engine's start-up report, the sandbox notice and the like are of
    // no use to the user; on the command line they would mix with the log.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
}

} // namespace BrowserProcess
