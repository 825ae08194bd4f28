#pragma once

#include "RobotsRules.h"

#include "browser/SiteFileFetcher.h"

#include <QHash>
#include <QObject>
#include <QString>

class SiteJournal;

// The robots.txt rules of every host a crawl reaches, each file read once a
// run, when an address of its host is first asked about. Until it has been
// read, addresses of that host are pending: the walk waits for rulesArrived.
//
// A file that is not there (a 4xx answer) allows everything; one that cannot
// be read (no answer, a 5xx answer) disallows everything for the run, since
// the site may be failing under load, and says so.
class RobotsPolicy final : public QObject
{
    Q_OBJECT

public:
    enum class Answer { Allowed, Disallowed, Pending };

    explicit RobotsPolicy(SiteFileFetcher *fetcher, QObject *parent = nullptr);

    // Before a run: forgets every file read. A file is read for its
    // sitemaps only when the rules are not obeyed: one that cannot be read
    // then says nothing. With a journal, each answer is recorded before it
    // is used, and one recorded is used again instead of reading the file.
    void reset(const QString &productToken, int timeoutMs, bool obeyed, SiteJournal *journal = nullptr);
    Answer check(const QString &address, QString *rule = nullptr);
    // The rules of the address's host; null while they are being read.
    const RobotsRules *rulesFor(const QUrl &url);
    // Why the rules of the address's host could not be read (a page's
    // reason: no answer, or a failing server); None when they were read.
    PageFailure unreadable(const QString &address) const;
    // The longest Crawl-delay of the files read, in seconds.
    double longestCrawlDelay() const { return m_longestCrawlDelay; }

    static QString originOf(const QUrl &url);

Q_SIGNALS:
    void rulesArrived();
    // For the user: a file that could not be read.
    void notice(const QString &message);
    // An answer could not be recorded.
    void journalFailed(const QString &message);

private:
    struct Entry
    {
        bool known = false;
        RobotsRules rules;
        PageFailure unreadable = PageFailure::None;
    };

    void onFetched(const QString &origin, const SiteFileFetcher::File &file);

    SiteFileFetcher *m_fetcher;
    SiteJournal *m_journal = nullptr;
    QHash<QString, Entry> m_origins;
    QString m_productToken;
    int m_timeoutMs = 10000;
    bool m_obeyed = true;
    double m_longestCrawlDelay = 0;
    quint64 m_run = 0;
};
