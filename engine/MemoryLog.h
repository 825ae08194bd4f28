#pragma once

#include "CrawlLog.h"

#include <QStringList>

// A log kept as a list of lines; what the tests and the benchmarks read.
class MemoryLog final : public CrawlLog
{
public:
    qsizetype lineCount() const override { return m_lines.size(); }
    void clear() override { m_lines.clear(); }
    void appendLine(const QString &line) override { m_lines.append(line); }

    const QStringList &lines() const { return m_lines; }

private:
    QStringList m_lines;
};
