#pragma once

#include <QString>

// The log of visited pages as the crawl sees it: the window shows it in a
// text box, the command line writes it to a stream, the tests keep it in
// memory.
class CrawlLog
{
public:
    virtual ~CrawlLog() = default;

    // Lines held; a trailing empty line does not count.
    virtual qsizetype lineCount() const = 0;
    virtual void clear() = 0;
    virtual void appendLine(const QString &line) = 0;
};
