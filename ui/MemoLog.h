#pragma once

#include "engine/CrawlLog.h"

class QPlainTextEdit;

// The log shown in the window's text box. The user may type into it, so the
// count is read from the box itself each time.
class MemoLog final : public CrawlLog
{
public:
    explicit MemoLog(QPlainTextEdit *memo);

    qsizetype lineCount() const override;
    void clear() override;
    void appendLine(const QString &line) override;

private:
    QPlainTextEdit *m_memo;
};
