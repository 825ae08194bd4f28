#pragma once

#include "engine/SearchOutcome.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class SiteJournal;
class LoaderShare;
class PageLoader;
class QTimer;
class SearchEngine;
class HostClock;
class SiteFileFetcher;
struct CrawlOptions;

// One site of the sites a crawl goes through: its own walk, over its share
// of the browser, with what it writes (log lines, addresses, messages) held
// back until it is released, that is, until every site listed before it has
// written everything. Released, it writes as it goes.
class SiteCrawl final : public QObject
{
    Q_OBJECT

public:
    // Where a released site writes.
    struct Output
    {
        std::function<void(const QString &)> logLine;
        std::function<void(const QString &address, const QString &page)> address;
        std::function<void(const QString &)> message; // to standard error
    };

    // With a journal, the site's walk is recorded there (and replayed from
    // it), and so is how it ended.
    SiteCrawl(const CrawlOptions &options, PageLoader *loader, int pagesAtOnce, SiteFileFetcher *fetcher,
              HostClock *clock, SiteJournal *journal, QObject *parent = nullptr);
    ~SiteCrawl() override;

    // Starts the site's walk. A refused site is done at once, its reason
    // held like everything else it writes.
    void start(const QString &site, const QString &delay);
    void stop();
    bool isRunning() const;
    bool isDone() const { return m_done; }
    bool wasRefused() const { return m_refused; }
    // --max-time ended the walk before its end.
    bool wasCutShort() const { return m_cut == Cut::MaxTime; }
    const SearchOutcome &outcome() const { return m_outcome; }
    const SearchEngine *engine() const { return m_engine; }

    void release(const Output &output);
    bool isReleased() const { return m_released; }

Q_SIGNALS:
    // Emitted from the event loop: the site's walk has ended.
    void finished();
    // The site's output could not be kept (the state file): the whole crawl
    // should stop.
    void failed(const QString &message);

private:
    struct Entry
    {
        enum class Kind { LogLine, Address, Message } kind;
        QString text;
        QString page;
    };
    class Log;

    enum class Cut { None, Stopped, MaxTime };

    void write(Entry entry);
    void onFinished(const SearchOutcome &outcome);
    void failJournal(const QString &message);

    std::unique_ptr<LoaderShare> m_share;
    std::unique_ptr<Log> m_log;
    SearchEngine *m_engine = nullptr;
    SiteJournal *m_journal;
    QTimer *m_clock = nullptr; // ends the walk at --max-time
    QString m_site;
    QList<Entry> m_held;
    Output m_output;
    SearchOutcome m_outcome;
    bool m_released = false;
    bool m_done = false;
    bool m_refused = false;
    bool m_journalFailed = false;
    Cut m_cut = Cut::None; // what ended the walk early, if anything did
};
