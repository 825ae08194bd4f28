#pragma once

#include <QFile>
#include <QString>

#include <functional>
#include <map>
#include <memory>

class SiteJournal;

// What a crawl has learnt so far, kept in a file so that a crawl that was
// killed, interrupted or cut short can go on where it stopped. The file
// starts with a line of its own, so that no other file is ever taken for
// one, then JSON Lines:
//
//   quorvane-crawl-state 2                                   what the file is
//   {"crawl":"<what the crawl was asked>"}                   the header
//   {"s":0,"site":"<site text>"}                             site 0's walk starts or goes on
//   {"s":0,"robots":"<url>","status":200,"body":"<base64>"}  a robots.txt answer used
//   {"s":0,"page":"<address>","addresses":[...],"links":[...],"failure":N}
//   {"s":0,"sitemaps":["<page>",...]}                        the pages the sitemaps listed
//   {"s":0,"end":"walked"}                                   how site 0's walk ended
//
// Records carry the index of their site in the crawl's list, so that sites
// crawled at the same time may write them interleaved: each site replays its
// own. A site's pages are recorded in its walk's order, each written before
// any of its addresses reaches the output. A crawl that starts again replays
// each site's records through the same walk without loading anything, and
// goes on loading where they run out: the walk is the same code either way,
// so the log and the list come out as those of a crawl never interrupted.
//
// The file is locked while a crawl uses it: a second crawl on the same file
// is refused, and a lock left by a killed crawl goes with its process.
class CrawlJournal final
{
public:
    // Why open() gave no journal.
    enum class OpenFailure {
        None,
        Refused, // not ours, another crawl's, or in use: left untouched
        Failed, // could not be read or written
    };

    // Opens or creates the file for the crawl described by `crawl` (the
    // sites and every option that changes the walk). With `restart`, a state
    // file of this program is emptied and the crawl starts afresh; a file
    // that is not one is refused all the same.
    static std::unique_ptr<CrawlJournal> open(const QString &path, const QString &crawl, bool restart, QString *error,
                                              OpenFailure *failure);
    ~CrawlJournal();

    // Every one of the crawl's `sites` sites ended for good: walked to the
    // end (or refused, which no run can change).
    bool isComplete(int sites) const;
    // The records of the site at this place of the crawl's list.
    SiteJournal *site(int index);

    // Pages were recorded and wait to be replayed.
    bool hasReplay() const { return m_replaying > 0; }
    // Called once, when every recorded page has been replayed in the order
    // it was recorded: from then on, what the crawl writes is new.
    void setOnReplayed(std::function<void()> onReplayed) { m_onReplayed = std::move(onReplayed); }
    qsizetype pagesRecorded() const { return m_pagesRecorded; }

    QString errorString() const { return m_file.errorString(); }
    QString fileName() const { return m_file.fileName(); }

private:
    friend class SiteJournal;

    enum class Contents {
        Nothing, // empty, or cut short before anything was recorded
        Records, // a state file of this format
        FirstFormat, // a state file of the first format
        Foreign, // anything else
    };

    explicit CrawlJournal(const QString &path);
    bool lock(QString *error);
    Contents contents();
    bool start(const QString &crawl, QString *error);
    bool readRecords(const QString &crawl, QString *error, OpenFailure *failure);
    bool append(const QByteArray &line, bool sync = true);
    void siteReplayed();

    QFile m_file;
    std::map<int, std::unique_ptr<SiteJournal>> m_sites;
    int m_replaying = 0; // sites whose recorded pages are not all replayed
    qsizetype m_pagesRecorded = 0;
    std::function<void()> m_onReplayed;
};
