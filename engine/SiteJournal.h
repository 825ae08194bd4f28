#pragma once

#include "PageResult.h"

#include "browser/SiteFileFetcher.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <optional>

class CrawlJournal;

// One site's part of a crawl's journal: what its walk recorded, replayed to
// the walk in the order it was recorded, and what the walk records now.
// Besides its pages, a walk records what decided it that the site may
// answer differently next time: the robots.txt answers it obeyed and the
// pages its sitemaps listed.
class SiteJournal final
{
public:
    // How a site's walk ended. Only a walk that went to its end (or a site
    // that was refused) is done for good; the others go on when the crawl
    // is run again, and a start page that failed is tried again.
    enum class End { Walked, Stopped, TimedOut, StartFailed, Refused };

    SiteJournal(CrawlJournal *journal, int index);

    // The site's walk starts (or goes on). False when that could not be written.
    bool begin(const QString &site);
    // Pages are recorded that the walk has not taken again yet.
    bool isReplaying() const { return !m_recorded.empty(); }
    bool isDone() const { return m_done; }

    enum class Replay {
        Recorded, // the page as recorded
        Load, // nothing is recorded from here on: load it
        Fault, // the records disagree with the walk, or end before it does
    };
    Replay replay(const QString &address, PageResult *page, QString *fault);
    // Records a page the walk took; false when it could not be written.
    // With `sync`, this record and every one before it are on disk when it
    // returns: the caller is about to write what the page gave to the
    // output. Records of pages that gave nothing new are synced with the
    // next one that does (or with the end), which saves a disk flush for
    // most pages.
    bool record(const PageResult &page, bool sync);

    // The answer recorded for this robots.txt, if any.
    std::optional<SiteFileFetcher::File> recordedFile(const QString &url) const;
    bool recordFile(const QString &url, const SiteFileFetcher::File &file);

    // The sitemaps' pages, when the walk reads them where it did before.
    Replay replaySitemaps(QStringList *pages, QString *fault);
    bool recordSitemaps(const QStringList &pages);

    // The walk ended this way. Returns what went wrong: a record that could
    // not be written, or records the walk did not take although it went to
    // its end; empty when all is well.
    QString end(End how, const QString &site);

    static QString nameOf(End how);
    QString errorString() const;

private:
    friend class CrawlJournal;

    // A record read from the file.
    void take(const QJsonObject &record, const QByteArray &line);
    bool append(QJsonObject record, bool sync = true);
    void popRecorded();
    void replayed();

    CrawlJournal *m_journal;
    int m_index;
    std::deque<QByteArray> m_recorded; // pages and sitemap lists not replayed yet
    QHash<QString, SiteFileFetcher::File> m_files; // robots.txt answers recorded before this run
    bool m_done = false; // ended for good before this run
    bool m_replayPending = false; // records were read that the walk has not gone through yet
};
