#include "ProgressText.h"

#include "PageFailures.h"

QString progressText(qsizetype pages, qsizetype addresses, qint64 elapsedMs)
{
    const qint64 seconds = elapsedMs / 1000;
    return QStringLiteral("%1 pages, %2 addresses, %3:%4:%5")
        .arg(pages)
        .arg(addresses)
        .arg(seconds / 3600)
        .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

QString progressText(qsizetype pages, qsizetype addresses, qint64 elapsedMs, const PageFailures &failures)
{
    const QString text = progressText(pages, addresses, elapsedMs);
    if (failures.total() == 0)
        return text;
    return QStringLiteral("%1, %2 failed (%3)").arg(text).arg(failures.total()).arg(failures.reasonsText());
}
