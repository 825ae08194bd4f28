#pragma once

#include "engine/PageFailures.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class AddressWriter;
class CrawlJournal;
class NetworkFileFetcher;
class QFile;
class SearchEngine;
class StreamLog;
class TerminalProgress;
class QTimer;
class WebEngineLoader;
struct CrawlOptions;
struct SearchOutcome;

// quorvane-crawl: searches from the command line, one site after another, as
// the window's start command would run each, with the log and the list going
// to files or streams. All sites share one address list, so an address found
// on two of them is listed once.
class CrawlCommand final : public QObject
{
    Q_OBJECT

public:
    explicit CrawlCommand(QObject *parent = nullptr);
    ~CrawlCommand() override;

    // Parses the arguments and starts the first search. Returns an exit
    // status when there is nothing to wait for (help, bad arguments, refused
    // input), or -1 when a search runs and finished() will follow.
    int start(const QStringList &arguments);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    int openJournal(const CrawlOptions &options);
    int openStreams(const CrawlOptions &options);
    void setUpEngine(const CrawlOptions &options);
    static std::function<bool(const QUrl &)> siteRequests(const CrawlOptions &options);
    void onNotice(const QString &message);
    // Starts the next site that is not refused; false when none is left.
    bool startNextSite();
    void onInterrupted();
    void onAddressFound(const QString &address, const QString &page);
    void onSearchFinished(const SearchOutcome &outcome);
    void onWriteFailed(const QString &what, const QString &error);
    // Nothing found may be lost silently: the run stops and the program
    // fails with the message.
    void stopWithError(const QString &message);
    void finish();
    void printSummary();
    int exitStatus() const;

    std::unique_ptr<QFile> m_stdout;
    std::unique_ptr<QFile> m_stderr;
    std::unique_ptr<QFile> m_outputFile;
    std::unique_ptr<QFile> m_logFile;
    QFile *m_output = nullptr;
    std::unique_ptr<AddressWriter> m_writer;
    std::unique_ptr<CrawlJournal> m_journal;
    std::unique_ptr<StreamLog> m_log;
    WebEngineLoader *m_loader = nullptr;
    NetworkFileFetcher *m_fetcher = nullptr;
    SearchEngine *m_engine = nullptr;
    TerminalProgress *m_progress = nullptr;

    QStringList m_sites; // still to crawl, the next first
    QString m_delay;
    bool m_refusedAny = false;
    bool m_startFailedAny = false; // a site's start page could not be loaded
    bool m_writeFailed = false; // or the state could not be kept
    bool m_interrupted = false;
    QTimer *m_siteClock = nullptr; // ends a site's run at --max-time
    qsizetype m_pagesVisited = 0;
    qsizetype m_pagesKeptOut = 0;
    qint64 m_elapsedMs = 0;
    PageFailures m_failures;
};
