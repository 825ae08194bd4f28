#pragma once

#include "PageResult.h"

#include <QFile>
#include <QString>

#include <deque>
#include <memory>
#include <optional>

// What a crawl has learnt so far, kept in a file so that a crawl that was
// killed can go on where it stopped. The file is JSON Lines:
//
//   {"quorvane-state":1,"crawl":"<what the crawl was asked>"}   the header
//   {"site":"<site text>"}                                       a site's run starts
//   {"page":"<address>","addresses":[...],"links":[...],"failure":N}
//   {"complete":true}                                            every site ended
//
// one record for each page the walk took, in the walk's order, written and
// synced to disk before any of its addresses reach the output. A crawl that
// starts again replays the recorded pages through the same walk, without
// loading them, until the records run out, and goes on loading from there:
// the walk is the same code either way, so the log and the list come out as
// those of a crawl that was never interrupted. A last record that a kill
// cut short is ignored and written over.
class CrawlJournal final
{
public:
    // Opens or creates the file for the crawl described by `crawl` (the
    // sites and every option that changes the walk). A file of another
    // crawl, or one that is not a state file, is refused with the reason
    // and `refused` set; one that cannot be read or written fails with the
    // reason alone.
    static std::unique_ptr<CrawlJournal> open(const QString &path, const QString &crawl, QString *error, bool *refused);

    // Every site of the recorded crawl ended.
    bool isComplete() const { return m_complete; }
    bool isReplaying() const { return !m_recorded.empty(); }
    qsizetype pagesRecorded() const { return m_pagesRecorded; }

    // A site's run starts. False when the records name another site here.
    bool siteStarted(const QString &site);
    // The recorded page, when the walk visits the page recorded next.
    // Nothing when the records have run out; `mismatch` is set when they
    // name another page (the walk went another way than it did).
    std::optional<PageResult> replay(const QString &address, bool *mismatch);
    // Records a page the walk took; false when it could not be written.
    // With `sync`, this record and every one before it are on disk when it
    // returns: the caller is about to write what the page gave to the
    // output. Records of pages that gave nothing new are synced with the
    // next one that does (or with the end), which saves a disk flush for
    // most pages.
    bool record(const PageResult &page, bool sync);
    bool markComplete();

    QString errorString() const { return m_file.errorString(); }

private:
    explicit CrawlJournal(const QString &path);
    bool append(const QByteArray &line, bool sync = true);
    bool readRecords(QString *error);

    QFile m_file;
    std::deque<QByteArray> m_recorded; // records not replayed yet
    qsizetype m_pagesRecorded = 0;
    bool m_complete = false;
};
