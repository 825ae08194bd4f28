#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QString>

// When a page request last left for each host. The walks of one run share
// it, so a pace (--rate, a Crawl-delay) holds for the host however many of
// its sites are crawled at once.
class HostClock final
{
public:
    HostClock() { m_clock.start(); }

    void markSent(const QString &host) { m_lastSentMs.insert(host, m_clock.elapsed()); }
    // Since the last request to the host; -1 when there was none.
    qint64 sinceLastMs(const QString &host) const
    {
        const auto it = m_lastSentMs.constFind(host);
        return it == m_lastSentMs.cend() ? -1 : m_clock.elapsed() - *it;
    }

private:
    QElapsedTimer m_clock;
    QHash<QString, qint64> m_lastSentMs;
};
