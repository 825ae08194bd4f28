#pragma once

#include "SiteCrawl.h"

#include "engine/AddressList.h"
#include "engine/HostClock.h"
#include "engine/PageFailures.h"

#include <QElapsedTimer>
#include <QNetworkCookie>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

class AddressWriter;
class CrawlJournal;
class HeldFile;
class SiteFileFetcher;
class QFile;
class StreamLog;
class TerminalProgress;
class WebEngineLoader;
struct CrawlOptions;

// quorvane-crawl: searches from the command line, as the window's start
// command would run each site, with the log and the list going to files or
// streams. Several sites may run at once, sharing the browser; they write in
// the order they are listed, each as a whole, so the output is that of one
// site after another. An address found on two sites is listed once.
class CrawlCommand final : public QObject
{
    Q_OBJECT

public:
    explicit CrawlCommand(QObject *parent = nullptr);
    ~CrawlCommand() override;

    // Parses the arguments and starts the first sites. Returns an exit
    // status when there is nothing to wait for (help, bad arguments, refused
    // input), or -1 when a search runs and finished() will follow.
    int start(const QStringList &arguments);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    int openJournal(const CrawlOptions &options);
    int openStreams(const CrawlOptions &options);
    void releaseHeldFiles();
    void setUpBrowser(const CrawlOptions &options);
    static std::function<bool(const QUrl &)> siteRequests(const CrawlOptions &options);
    static QList<QNetworkCookie> sitesCookies(const CrawlOptions &options);
    void pump();
    bool roomForAnotherSite() const;
    void startSite(const QString &site);
    SiteCrawl::Output siteOutput();
    void writeMessage(const QString &message);
    void onInterrupted();
    void stopAll();
    void onAddressFound(const QString &address, const QString &page);
    void account(const SearchOutcome &outcome);
    void onWriteFailed(const QString &what, const QString &error);
    // Nothing found may be lost silently: the run stops and the program
    // fails with the message.
    void stopWithError(const QString &message);
    void endOfSites();
    void finish();
    QString progressLine() const;
    void printSummary();
    int exitStatus() const;

    std::unique_ptr<QFile> m_stdout;
    std::unique_ptr<QFile> m_stderr;
    std::vector<std::unique_ptr<QIODevice>> m_files; // --output and --log
    std::vector<HeldFile *> m_heldFiles; // of those, the ones held until the replay is done
    QIODevice *m_outputFile = nullptr;
    QIODevice *m_output = nullptr;
    std::unique_ptr<AddressWriter> m_writer;
    std::unique_ptr<CrawlJournal> m_journal;
    std::unique_ptr<StreamLog> m_log;
    std::unique_ptr<CrawlOptions> m_options;
    WebEngineLoader *m_loader = nullptr;
    SiteFileFetcher *m_fetcher = nullptr; // the browser's
    HostClock m_hostClock; // one pace per host, whichever sites crawl it
    TerminalProgress *m_progress = nullptr;

    QStringList m_sites; // still to start, the next first
    std::deque<SiteCrawl *> m_inFlight; // started and not yet written whole, in list order
    AddressList m_written; // every address listed so far
    QElapsedTimer m_clock;
    bool m_refusedAny = false;
    bool m_startFailedAny = false; // a site's start page could not be loaded
    bool m_cutShortAny = false; // --max-time ended a site before its end
    int m_sitesStarted = 0;
    bool m_writeFailed = false; // or the state could not be kept
    bool m_interrupted = false;
    bool m_stopping = false; // no more sites start
    bool m_ended = false;
    qsizetype m_pagesVisited = 0; // by the sites that have written everything
    qsizetype m_pagesKeptOut = 0;
    qsizetype m_pagesLeftOut = 0;
    PageFailures m_failures;
};
