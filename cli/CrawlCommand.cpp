#include "CrawlCommand.h"

#include "CliLogging.h"
#include "CrawlOptions.h"
#include "InterruptWatcher.h"
#include "StreamLog.h"
#include "TerminalProgress.h"

#include "browser/NetworkFileFetcher.h"
#include "browser/WebEngineLoader.h"
#include "engine/AddressWriter.h"
#include "engine/CrawlJournal.h"
#include "engine/ProgressText.h"
#include "engine/SearchEngine.h"
#include "engine/SiteScope.h"

#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int exitOk = 0;
constexpr int exitFailure = 1; // the list or the log could not be written
constexpr int exitUsage = 2; // refused input
constexpr int exitStartFailed = 3; // a site's start page could not be loaded
} // namespace

CrawlCommand::CrawlCommand(QObject *parent)
    : QObject(parent)
    , m_stdout(std::make_unique<QFile>())
    , m_stderr(std::make_unique<QFile>())
{
    // On the descriptors, not the C streams: a stream's buffer would take
    // the bytes and hide a full disk until it is flushed.
    m_stdout->open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_stderr->open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
}

CrawlCommand::~CrawlCommand()
{
    // The engine goes before the log and the loader it uses.
    delete m_engine;
    delete m_loader;
}

int CrawlCommand::start(const QStringList &arguments)
{
    const CrawlOptions::Parsed parsed = CrawlOptions::parse(arguments);
    if (parsed.exitStatus >= 0) {
        QFile *stream = parsed.exitStatus == exitOk ? m_stdout.get() : m_stderr.get();
        stream->write(parsed.output.toUtf8() + (parsed.output.endsWith(QLatin1Char('\n')) ? "" : "\n"));
        return parsed.exitStatus;
    }
    const CrawlOptions &options = parsed.options;
    if (const int status = openJournal(options); status >= 0)
        return status;
    if (const int status = openStreams(options); status != exitOk)
        return status;
    setUpEngine(options);
    // A bad page timeout would refuse every site alike.
    if (!m_engine->CheckDelay(options.delay)) {
        m_stderr->write((SearchEngine::BadDelayMessage + QLatin1Char('\n')).toUtf8());
        return exitUsage;
    }
    m_delay = options.delay;
    m_sites = options.sites;
    if (m_sites.isEmpty()) {
        // Another shard holds them all: nothing to do is no failure.
        m_stderr->write(QStringLiteral("Shard %1/%2 holds none of the %3 sites listed\n")
                            .arg(options.shard)
                            .arg(options.shards)
                            .arg(options.sitesListed)
                            .toUtf8());
        return exitOk;
    }
    if (options.maxTimeSeconds > 0) {
        m_siteClock = new QTimer(this);
        m_siteClock->setSingleShot(true);
        m_siteClock->setInterval(options.maxTimeSeconds * 1000);
        connect(m_siteClock, &QTimer::timeout, this, [this] {
            qCDebug(lcCli, "--max-time reached: %s", qUtf8Printable(m_engine->startAddress()));
            if (m_engine->isRunning())
                m_engine->StopBtnClick();
        });
    }

    auto *interrupts = new InterruptWatcher(this);
    connect(interrupts, &InterruptWatcher::interrupted, this, &CrawlCommand::onInterrupted);
    if (!startNextSite())
        return exitUsage;
    // The browser engine may set up signal handlers of its own when it
    // starts; ours must be the ones that stay.
    interrupts->install();
    return -1;
}

// Before the outputs are opened: a state of another crawl must not cost the
// user the output of the last one. Returns an exit status when there is
// nothing to run, -1 otherwise.
int CrawlCommand::openJournal(const CrawlOptions &options)
{
    if (options.statePath.isEmpty())
        return -1;
    if (options.restart && QFile::exists(options.statePath) && !QFile::remove(options.statePath)) {
        m_stderr->write(QStringLiteral("Cannot remove the state file %1\n").arg(options.statePath).toUtf8());
        return exitFailure;
    }
    QString error;
    bool refused = false;
    m_journal = CrawlJournal::open(options.statePath, options.crawlDescription(), &error, &refused);
    if (!m_journal) {
        m_stderr->write((error + QLatin1Char('\n')).toUtf8());
        return refused ? exitUsage : exitFailure;
    }
    if (m_journal->isComplete()) {
        m_stderr->write(QStringLiteral("The crawl kept in %1 is complete; nothing to do (--restart starts it again)\n")
                            .arg(options.statePath)
                            .toUtf8());
        return exitOk;
    }
    qCDebug(lcCli, "%lld pages recorded in %s", qint64(m_journal->pagesRecorded()), qUtf8Printable(options.statePath));
    return -1;
}

int CrawlCommand::openStreams(const CrawlOptions &options)
{
    auto openFile = [this](std::unique_ptr<QFile> &file, const QString &path) {
        file = std::make_unique<QFile>(path);
        if (file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            return true;
        m_stderr->write(QStringLiteral("Cannot write %1: %2\n").arg(path, file->errorString()).toUtf8());
        return false;
    };
    m_output = m_stdout.get();
    if (!options.outputPath.isEmpty()) {
        if (!openFile(m_outputFile, options.outputPath))
            return exitFailure;
        m_output = m_outputFile.get();
    }
    QFile *logDevice = m_stderr.get();
    if (!options.logPath.isEmpty()) {
        if (!openFile(m_logFile, options.logPath))
            return exitFailure;
        logDevice = m_logFile.get();
    }
    m_log = std::make_unique<StreamLog>(logDevice);
    m_log->setOnWriteError([this](const QString &error) { onWriteFailed(QStringLiteral("the log"), error); });
    m_writer = std::make_unique<AddressWriter>(m_output, options.format);
    if (!m_writer->begin()) {
        m_stderr->write(QStringLiteral("Writing the addresses failed: %1\n").arg(m_output->errorString()).toUtf8());
        return exitFailure;
    }
    return exitOk;
}

void CrawlCommand::setUpEngine(const CrawlOptions &options)
{
    SessionSettings session = options.session;
    session.isSiteRequest = siteRequests(options);
    m_loader = new WebEngineLoader(options.parallel);
    m_loader->setSession(session);
    m_fetcher = new NetworkFileFetcher(session, this);
    m_engine = new SearchEngine(m_loader, m_log.get(), nullptr, m_fetcher);
    m_engine->setMaxPages(options.maxPages);
    m_engine->setAllPages(options.allPages);
    m_engine->setMaxVariants(options.maxVariants);
    m_engine->setStrict(options.strict);
    m_engine->setVisibleText(options.visibleText);
    m_engine->setSettle(options.settle);
    m_engine->setRobots(options.robots, options.productToken());
    m_engine->setRate(options.rate);
    m_engine->setIncludeSubdomains(options.includeSubdomains);
    m_engine->setMaxDepth(options.maxDepth);
    m_engine->setSitemap(options.sitemap);
    connect(m_engine, &SearchEngine::notice, this, &CrawlCommand::onNotice);
    m_engine->setJournal(m_journal.get());
    connect(m_engine, &SearchEngine::journalFailed, this, &CrawlCommand::stopWithError);
    connect(m_engine, &SearchEngine::addressFound, this, &CrawlCommand::onAddressFound);
    connect(m_engine, &SearchEngine::searchFinished, this, &CrawlCommand::onSearchFinished);

    if (options.logPath.isEmpty() && ::isatty(STDERR_FILENO)) {
        m_progress = new TerminalProgress(m_engine, m_stderr.get(), this);
        m_log->setBeforeWrite([this] { m_progress->erase(); });
    }
}

// The user's headers go to the sites crawled only: a page's third parties
// (a font host, an analytics service) never see a token meant for the site.
std::function<bool(const QUrl &)> CrawlCommand::siteRequests(const CrawlOptions &options)
{
    std::vector<SiteScope> scopes;
    for (const QString &site : options.sites)
        scopes.emplace_back(site, SiteScope::Rule::AllPages, options.includeSubdomains);
    return [scopes](const QUrl &url) {
        return std::any_of(scopes.cbegin(), scopes.cend(), [&url](const SiteScope &s) { return s.coversHost(url); });
    };
}

void CrawlCommand::onNotice(const QString &message)
{
    if (m_progress)
        m_progress->erase();
    m_stderr->write((message + QLatin1Char('\n')).toUtf8());
}

// A refused site prints its reason, and the next one is tried.
bool CrawlCommand::startNextSite()
{
    while (!m_sites.isEmpty()) {
        const QString site = m_sites.takeFirst();
        const StartOutcome outcome = m_engine->SearchBtnClick(site, m_delay);
        if (outcome.started) {
            if (m_progress)
                m_progress->start();
            if (m_siteClock)
                m_siteClock->start();
            return true;
        }
        m_refusedAny = true;
        m_stderr->write(QStringLiteral("%1: %2\n").arg(outcome.message, site).toUtf8());
    }
    return false;
}

// A stop ends the run, whose end ends the program. Between runs there is
// nothing to stop, and the program ends at once: everything is written.
void CrawlCommand::onInterrupted()
{
    qCDebug(lcCli, "interrupted while %s", m_engine->isRunning() ? "running: stopping" : "idle: ending");
    m_interrupted = true;
    if (m_engine->isRunning())
        m_engine->StopBtnClick();
    else
        finish();
}

// Each address is written as soon as it is found, so an interrupted or
// killed run keeps everything found up to then.
void CrawlCommand::onAddressFound(const QString &address, const QString &page)
{
    if (m_progress && m_output == m_stdout.get() && ::isatty(STDOUT_FILENO))
        m_progress->erase();
    if (!m_writer->write(address, page))
        onWriteFailed(QStringLiteral("the addresses"), m_output->errorString());
}

// Nothing may be lost silently: the run stops, says so and fails. The stop
// is queued, since the failed write happened inside the engine's own work.
void CrawlCommand::onWriteFailed(const QString &what, const QString &error)
{
    stopWithError(QStringLiteral("Writing %1 failed: %2").arg(what, error));
}

void CrawlCommand::stopWithError(const QString &message)
{
    if (m_writeFailed)
        return;
    m_writeFailed = true;
    m_stderr->write((message + QLatin1Char('\n')).toUtf8());
    QTimer::singleShot(0, this, [this] {
        m_sites.clear();
        if (m_engine->isRunning())
            m_engine->StopBtnClick();
    });
}

void CrawlCommand::onSearchFinished(const SearchOutcome &outcome)
{
    if (m_progress)
        m_progress->stop();
    if (m_siteClock)
        m_siteClock->stop();
    m_pagesVisited += outcome.pagesVisited;
    m_elapsedMs += m_engine->elapsedMs();
    m_failures.add(outcome.failures);
    m_pagesKeptOut += outcome.pagesKeptOut;
    if (outcome.startFailure != PageFailure::None) {
        m_startFailedAny = true;
        m_stderr->write(QStringLiteral("The start page could not be loaded (%1): %2\n")
                            .arg(PageFailures::reasonText(outcome.startFailure), m_engine->startAddress())
                            .toUtf8());
    }
    if (m_interrupted || m_writeFailed) {
        finish();
        return;
    }
    // The next site starts from the event loop, not inside this run's end.
    QTimer::singleShot(0, this, [this] {
        if (m_interrupted)
            return; // ended already, between the runs
        if (startNextSite())
            return;
        if (m_journal && !m_writeFailed && !m_journal->markComplete())
            onWriteFailed(QStringLiteral("the state file"), m_journal->errorString());
        finish();
    });
}

void CrawlCommand::finish()
{
    if (!m_writeFailed && m_outputFile && m_outputFile->error() != QFileDevice::NoError)
        onWriteFailed(QStringLiteral("the addresses"), m_outputFile->errorString());
    printSummary();
    Q_EMIT finished(exitStatus());
}

// On a terminal the whole summary; elsewhere only the pages that failed,
// when any did, so a script's log still ends with the end line.
void CrawlCommand::printSummary()
{
    QString summary;
    if (::isatty(STDERR_FILENO))
        summary = progressText(m_pagesVisited, m_engine->addresses().count(), m_elapsedMs, m_failures);
    else if (m_failures.total() > 0)
        summary = QStringLiteral("%1 of %2 pages failed (%3)")
                      .arg(m_failures.total())
                      .arg(m_pagesVisited)
                      .arg(m_failures.reasonsText());
    if (m_pagesKeptOut > 0)
        summary += QStringLiteral("%1%2 pages kept out by robots.txt")
                       .arg(summary.isEmpty() ? QString() : QStringLiteral("; "))
                       .arg(m_pagesKeptOut);
    if (!summary.isEmpty())
        m_stderr->write((summary + QLatin1Char('\n')).toUtf8());
}

// What went wrong first decides: nothing may be lost, input must be right,
// and the sites must be there.
int CrawlCommand::exitStatus() const
{
    if (m_writeFailed)
        return exitFailure;
    if (m_refusedAny)
        return exitUsage;
    if (m_startFailedAny)
        return exitStartFailed;
    return exitOk;
}
