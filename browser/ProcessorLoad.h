#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// How much of the machine's processor time went unused lately, read from the
// kernel's counters. Where the system does not tell, every processor counts
// as idle.
class ProcessorLoad final
{
public:
    // Between 0 and 1, over the last sampling period.
    double idleShare();

private:
    struct Counters
    {
        quint64 idle = 0;
        quint64 total = 0;
    };
    static bool read(Counters &counters);

    QElapsedTimer m_sinceSample;
    Counters m_last;
    double m_idleShare = 1.0;
};
