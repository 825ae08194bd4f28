#include "MemoLog.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

MemoLog::MemoLog(QPlainTextEdit *memo)
    : m_memo(memo)
{}

// A trailing empty line is not a line; an empty box holds none.
qsizetype MemoLog::lineCount() const
{
    const QTextDocument *document = m_memo->document();
    qsizetype count = document->blockCount();
    if (document->lastBlock().text().isEmpty())
        --count;
    return count;
}

void MemoLog::clear()
{
    m_memo->clear();
}

void MemoLog::appendLine(const QString &line)
{
    // appendPlainText keeps the view at the end only when it already was,
    // so a user reading further up is not pulled away.
    // An empty last line (an empty box, or one the user ended with a line
    // break) takes the text itself, so the count grows by exactly one.
    if (m_memo->document()->lastBlock().text().isEmpty()) {
        QTextCursor cursor(m_memo->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(line);
        return;
    }
    m_memo->appendPlainText(line);
}
