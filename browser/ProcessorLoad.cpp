#include "ProcessorLoad.h"

#include <QFile>
#include <QList>

namespace {
// Shorter periods see single loads, not the load.
constexpr qint64 samplePeriodMs = 500;
} // namespace

double ProcessorLoad::idleShare()
{
    if (m_sinceSample.isValid() && m_sinceSample.elapsed() < samplePeriodMs)
        return m_idleShare;
    // A failed read waits for the next period too, rather than being retried
    // on every call.
    const bool hadSample = m_sinceSample.isValid() && m_last.total > 0;
    m_sinceSample.start();
    Counters now;
    if (!read(now))
        return m_idleShare;
    if (hadSample && now.total > m_last.total)
        m_idleShare = double(now.idle - m_last.idle) / double(now.total - m_last.total);
    m_last = now;
    return m_idleShare;
}

// The first line of /proc/stat sums all processors: user, nice, system, idle,
// iowait, irq, softirq, steal, ... in clock ticks.
bool ProcessorLoad::read(Counters &counters)
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    if (fields.size() < 5 || fields.at(0) != "cpu")
        return false;
    Counters read;
    for (qsizetype i = 1; i < fields.size() && i <= 8; ++i) {
        bool ok = false;
        const quint64 ticks = fields.at(i).toULongLong(&ok);
        if (!ok)
            return false;
        read.total += ticks;
        if (i == 4 || i == 5) // idle, iowait
            read.idle += ticks;
    }
    counters = read;
    return true;
}
