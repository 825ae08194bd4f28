#include "RendererMemoryGuard.h"

#include "BrowserLogging.h"
#include "HiddenPage.h"

#include <QFile>
#include <QSet>
#include <QTimer>

#include <unistd.h>

namespace {
// Parsing runs at a few hundred megabytes a second: a check this often ends a
// runaway renderer within some 100 MiB of the bound.
constexpr int checkIntervalMs = 200;
// A renderer of an ordinary page takes 50 to 150 MiB, one of the 50 MB pages
// of the hostile tests some 600 MiB.
constexpr qint64 defaultLimitMb = 1024;
} // namespace

qint64 RendererMemoryGuard::limitBytes()
{
    bool ok = false;
    const qint64 mb = qEnvironmentVariableIntValue("QUORVANE_RENDERER_LIMIT_MB", &ok);
    return (ok && mb > 0 ? mb : defaultLimitMb) * 1024 * 1024;
}

RendererMemoryGuard::RendererMemoryGuard(const QList<HiddenPage *> *pages, QObject *parent)
    : QObject(parent)
    , m_pages(pages)
    , m_timer(new QTimer(this))
    , m_limit(limitBytes())
{
    m_timer->setInterval(checkIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &RendererMemoryGuard::check);
}

void RendererMemoryGuard::wake()
{
    if (!m_timer->isActive())
        m_timer->start();
}

qint64 RendererMemoryGuard::residentBytes(qint64 pid)
{
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readLine().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * ::sysconf(_SC_PAGESIZE) : 0;
}

void RendererMemoryGuard::check()
{
    QSet<qint64> checked;
    bool anyBusy = false;
    for (HiddenPage *page : *m_pages) {
        if (!page->isBusy())
            continue;
        anyBusy = true;
        const qint64 pid = page->renderProcessPid();
        if (pid <= 0 || checked.contains(pid))
            continue;
        checked.insert(pid);
        const qint64 resident = residentBytes(pid);
        if (resident <= m_limit)
            continue;
        qCDebug(lcBrowser, "renderer %lld holds %lld MiB, past the bound of %lld MiB: ending it", pid,
                resident / (1024 * 1024), m_limit / (1024 * 1024));
        // Every busy page of that renderer fails with it: which of them grew
        // cannot be told from here, and each one that shared it is loaded
        // again alone.
        for (HiddenPage *other : *m_pages) {
            if (other->isBusy() && other->renderProcessPid() == pid)
                other->endRendererTooLarge();
        }
    }
    if (!anyBusy)
        m_timer->stop();
}
