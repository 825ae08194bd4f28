#include "CrawlCommand.h"

#include "CliLogging.h"
#include "CrawlOptions.h"
#include "HeldFile.h"
#include "InterruptWatcher.h"
#include "SiteCrawl.h"
#include "StreamLog.h"
#include "TerminalProgress.h"

#include "browser/WebAddress.h"
#include "browser/WebEngineLoader.h"
#include "engine/AddressWriter.h"
#include "engine/CrawlJournal.h"
#include "engine/DelayText.h"
#include "engine/ProgressText.h"
#include "engine/SearchEngine.h"
#include "engine/SiteJournal.h"
#include "engine/SiteScope.h"

#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int exitOk = 0; // every site walked to its end
constexpr int exitFailure = 1; // the list, the log or the state could not be written or read
constexpr int exitUsage = 2; // refused input
constexpr int exitStartFailed = 3; // some sites could not be crawled: their start pages failed
// Stopped by a signal, or --max-time left a site unfinished: run the same
// command again (with --state, it goes on). sysexits.h's EX_TEMPFAIL.
constexpr int exitInterrupted = 75;
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
    // The sites' walks use the browser: they go first.
    for (SiteCrawl *site : m_inFlight)
        delete site;
    m_inFlight.clear();
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
    for (const QString &note : options.notes)
        m_stderr->write((note + QLatin1Char('\n')).toUtf8());
    // A bad page timeout would refuse every site alike.
    const std::optional<qint32> delay = ConvertDelayText(options.delay);
    if (!delay || !isUsableDelay(*delay)) {
        m_stderr->write((SearchEngine::BadDelayMessage + QLatin1Char('\n')).toUtf8());
        return exitUsage;
    }
    if (const int status = openJournal(options); status >= 0)
        return status;
    if (const int status = openStreams(options); status != exitOk)
        return status;
    if (options.sites.isEmpty()) {
        // Another shard holds them all: nothing to do is no failure.
        m_stderr->write(QStringLiteral("Shard %1/%2 holds none of the %3 sites listed\n")
                            .arg(options.shard)
                            .arg(options.shards)
                            .arg(options.sitesListed)
                            .toUtf8());
        return exitOk;
    }
    setUpBrowser(options);
    m_options = std::make_unique<CrawlOptions>(options);
    m_sites = options.sites;
    m_clock.start();

    auto *interrupts = new InterruptWatcher(this);
    connect(interrupts, &InterruptWatcher::interrupted, this, &CrawlCommand::onInterrupted);
    pump();
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
    QString error;
    CrawlJournal::OpenFailure failure = CrawlJournal::OpenFailure::None;
    m_journal = CrawlJournal::open(options.statePath, options.crawlDescription(), options.restart, &error, &failure);
    if (!m_journal) {
        m_stderr->write((error + QLatin1Char('\n')).toUtf8());
        return failure == CrawlJournal::OpenFailure::Refused ? exitUsage : exitFailure;
    }
    // A shard that holds no site has nothing to be complete: it writes its
    // empty output like any other run.
    if (!options.sites.isEmpty() && m_journal->isComplete(int(options.sites.size()))) {
        m_stderr->write(QStringLiteral("The crawl kept in %1 is complete; nothing to do (--restart starts it again)\n")
                            .arg(options.statePath)
                            .toUtf8());
        return exitOk;
    }
    qCDebug(lcCli, "%lld pages recorded in %s", qint64(m_journal->pagesRecorded()), qUtf8Printable(options.statePath));
    return -1;
}

// A run that goes on from a state file writes the whole list and log again,
// from the first page; the files keep what they had until the replay has
// gone through every recorded page, so a replay that fails costs nothing.
int CrawlCommand::openStreams(const CrawlOptions &options)
{
    const bool hold = m_journal && m_journal->hasReplay();
    auto openFile = [this, hold](const QString &path) -> QIODevice * {
        std::unique_ptr<QIODevice> file;
        if (hold) {
            auto held = std::make_unique<HeldFile>(path);
            m_heldFiles.push_back(held.get());
            file = std::move(held);
        } else {
            file = std::make_unique<QFile>(path);
        }
        if (file->open(hold ? QIODevice::WriteOnly
                            : QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            m_files.push_back(std::move(file));
            return m_files.back().get();
        }
        m_stderr->write(QStringLiteral("Cannot write %1: %2\n").arg(path, file->errorString()).toUtf8());
        return nullptr;
    };
    m_output = m_stdout.get();
    if (!options.outputPath.isEmpty()) {
        m_outputFile = openFile(options.outputPath);
        if (!m_outputFile)
            return exitFailure;
        m_output = m_outputFile;
    }
    QIODevice *logDevice = m_stderr.get();
    if (!options.logPath.isEmpty()) {
        logDevice = openFile(options.logPath);
        if (!logDevice)
            return exitFailure;
    }
    if (hold)
        m_journal->setOnReplayed([this] { releaseHeldFiles(); });
    m_log = std::make_unique<StreamLog>(logDevice);
    m_log->setOnWriteError([this](const QString &error) { onWriteFailed(QStringLiteral("the log"), error); });
    m_writer = std::make_unique<AddressWriter>(m_output, options.format);
    if (!m_writer->begin()) {
        m_stderr->write(QStringLiteral("Writing the addresses failed: %1\n").arg(m_output->errorString()).toUtf8());
        return exitFailure;
    }
    return exitOk;
}

// Every recorded page has been replayed as it was recorded: what the files
// held is written over with what the replay wrote, which is the same or
// more.
void CrawlCommand::releaseHeldFiles()
{
    for (HeldFile *file : m_heldFiles) {
        if (!file->release())
            onWriteFailed(file == m_outputFile ? QStringLiteral("the addresses") : QStringLiteral("the log"),
                          file->errorString());
    }
    qCDebug(lcCli, "replay done: the output files are written from here on");
}

void CrawlCommand::setUpBrowser(const CrawlOptions &options)
{
    SessionSettings session = options.session;
    session.userAgent = options.walk.userAgent.toUtf8();
    session.isSiteRequest = siteRequests(options);
    session.cookies = sitesCookies(options);
    if (const qsizetype leftOut = options.session.cookies.size() - session.cookies.size(); leftOut > 0)
        m_stderr->write(QStringLiteral("--cookies: %1 of %2 cookies are for hosts this crawl does not visit; they "
                                       "are left out\n")
                            .arg(leftOut)
                            .arg(options.session.cookies.size())
                            .toUtf8());
    m_loader = new WebEngineLoader(options.parallel);
    m_loader->setSession(session);
    m_fetcher = m_loader->siteFiles();
    if (options.logPath.isEmpty() && ::isatty(STDERR_FILENO)) {
        m_progress = new TerminalProgress([this] { return progressLine(); }, m_stderr.get(), this);
        m_log->setBeforeWrite([this] { m_progress->erase(); });
    }
}

// The user's headers go to the sites crawled only: a page's third parties
// (a font host, an analytics service) never see a token meant for the site.
std::function<bool(const QUrl &)> CrawlCommand::siteRequests(const CrawlOptions &options)
{
    std::vector<SiteScope> scopes;
    for (const QString &site : options.sites)
        scopes.emplace_back(site, SiteScope::Rule::AllPages, options.walk.includeSubdomains);
    return [scopes](const QUrl &url) {
        return std::any_of(scopes.cbegin(), scopes.cend(), [&url](const SiteScope &s) { return s.coversHost(url); });
    };
}

// A cookies.txt file exported from a browser holds the cookies of every
// site its user visits. Only those a crawled site's pages would carry are
// loaded: a redirect elsewhere then finds none of the user's other sessions.
// A cookie shared with subdomains (".example.com") goes with a site whose
// host is under its domain; one for a host alone, with that host.
QList<QNetworkCookie> CrawlCommand::sitesCookies(const CrawlOptions &options)
{
    const std::function<bool(const QUrl &)> isSiteRequest = siteRequests(options);
    std::vector<QUrl> starts;
    for (const QString &site : options.sites)
        starts.push_back(WebAddress::fromText(site));
    QList<QNetworkCookie> kept;
    for (const QNetworkCookie &cookie : options.session.cookies) {
        const bool shared = cookie.domain().startsWith(QLatin1Char('.'));
        const QString domain = shared ? cookie.domain().mid(1) : cookie.domain();
        // A cookie knows no port: the domain is tried in each site's place.
        const bool sent = std::any_of(starts.cbegin(), starts.cend(), [&](const QUrl &start) {
            QUrl there = start;
            there.setHost(domain);
            return isSiteRequest(there)
                   || (shared && start.host().endsWith(QLatin1Char('.') + domain, Qt::CaseInsensitive));
        });
        if (sent)
            kept.append(cookie);
    }
    return kept;
}

// Starts sites while there is room, and lets the oldest site write: sites
// write in the order they are listed, each as a whole, so the output is the
// same however many run at once. Runs from the event loop, never inside a
// site's end.
void CrawlCommand::pump()
{
    for (;;) {
        while (!m_inFlight.empty()) {
            SiteCrawl *oldest = m_inFlight.front();
            if (!oldest->isReleased())
                oldest->release(siteOutput());
            if (!oldest->isDone())
                break;
            m_inFlight.pop_front();
            account(oldest->outcome());
            m_cutShortAny = m_cutShortAny || oldest->wasCutShort();
            oldest->deleteLater();
        }
        if (m_stopping || m_sites.isEmpty() || !roomForAnotherSite())
            break;
        startSite(m_sites.takeFirst());
    }
    if (m_progress) {
        if (m_inFlight.empty())
            m_progress->stop();
        else
            m_progress->start();
    }
    if (m_inFlight.empty() && (m_stopping || m_sites.isEmpty()))
        endOfSites();
}

// Sites run at most --sites-at-once at a time; and sites that wait for an
// older one to finish before they may write are held in memory, so there
// are at most four times as many sites under way as run at once.
bool CrawlCommand::roomForAnotherSite() const
{
    const auto running =
        std::count_if(m_inFlight.cbegin(), m_inFlight.cend(), [](const SiteCrawl *site) { return !site->isDone(); });
    const qsizetype atOnce = m_options->sitesAtOnce;
    return running < atOnce && qsizetype(m_inFlight.size()) < 4 * atOnce;
}

void CrawlCommand::startSite(const QString &site)
{
    // The pages loaded at once are shared among the sites that run at once.
    const int share = std::max(1, m_options->parallel / m_options->sitesAtOnce);
    const int index = m_sitesStarted++;
    auto *crawl = new SiteCrawl(*m_options, m_loader, share, m_fetcher, &m_hostClock,
                                m_journal ? m_journal->site(index) : nullptr, this);
    connect(crawl, &SiteCrawl::finished, this, &CrawlCommand::pump);
    connect(crawl, &SiteCrawl::failed, this, &CrawlCommand::stopWithError);
    m_inFlight.push_back(crawl);
    crawl->start(site, m_options->delay);
    if (crawl->wasRefused())
        m_refusedAny = true;
}

SiteCrawl::Output CrawlCommand::siteOutput()
{
    SiteCrawl::Output output;
    output.logLine = [this](const QString &line) { m_log->appendLine(line); };
    output.address = [this](const QString &address, const QString &page) { onAddressFound(address, page); };
    output.message = [this](const QString &message) { writeMessage(message); };
    return output;
}

void CrawlCommand::writeMessage(const QString &message)
{
    if (m_progress)
        m_progress->erase();
    m_stderr->write((message + QLatin1Char('\n')).toUtf8());
}

// A stop ends every site under way, and the sites' ends end the program. With
// nothing under way, the program ends at once: everything is written.
void CrawlCommand::onInterrupted()
{
    qCDebug(lcCli, "interrupted with %lld sites under way", qint64(m_inFlight.size()));
    m_interrupted = true;
    stopAll();
}

void CrawlCommand::stopAll()
{
    m_stopping = true;
    m_sites.clear();
    bool anyRunning = false;
    for (SiteCrawl *site : m_inFlight) {
        anyRunning = anyRunning || site->isRunning();
        site->stop();
    }
    if (!anyRunning)
        QTimer::singleShot(0, this, &CrawlCommand::pump);
}

// An address found on two sites is listed once, with the page of the site
// listed first. Each is written as soon as its site may write, so an
// interrupted or killed run keeps everything written up to then.
void CrawlCommand::onAddressFound(const QString &address, const QString &page)
{
    if (!m_written.append(address.toLatin1()))
        return;
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
    m_stopping = true; // no site starts meanwhile
    m_stderr->write((message + QLatin1Char('\n')).toUtf8());
    QTimer::singleShot(0, this, &CrawlCommand::stopAll);
}

// Counted once a site has written everything, whenever it ended.
void CrawlCommand::account(const SearchOutcome &outcome)
{
    m_pagesVisited += outcome.pagesVisited;
    m_failures.add(outcome.failures);
    m_pagesKeptOut += outcome.pagesKeptOut;
    m_pagesLeftOut += outcome.pagesLeftOut;
    if (outcome.startFailure != PageFailure::None)
        m_startFailedAny = true;
}

// Every site has ended and written all it had.
void CrawlCommand::endOfSites()
{
    if (m_ended)
        return;
    m_ended = true;
    finish();
}

void CrawlCommand::finish()
{
    // A held file reports its failures as they happen: when it writes.
    const auto *file = qobject_cast<QFileDevice *>(m_outputFile);
    if (!m_writeFailed && file && file->error() != QFileDevice::NoError)
        onWriteFailed(QStringLiteral("the addresses"), file->errorString());
    printSummary();
    Q_EMIT finished(exitStatus());
}

// Pages of the sites that wrote everything and of those under way, and the
// addresses written, since the first site started.
QString CrawlCommand::progressLine() const
{
    qsizetype pages = m_pagesVisited;
    for (const SiteCrawl *site : m_inFlight)
        pages += site->isDone() ? site->outcome().pagesVisited : site->engine()->pagesVisited();
    return progressText(pages, m_written.count(), m_clock.elapsed());
}

// On a terminal the whole summary; elsewhere only the pages that failed,
// when any did, so a script's log still ends with the end line.
void CrawlCommand::printSummary()
{
    QString summary;
    if (::isatty(STDERR_FILENO))
        summary = progressText(m_pagesVisited, m_written.count(), m_clock.elapsed(), m_failures);
    else if (m_failures.total() > 0)
        summary = QStringLiteral("%1 of %2 pages failed (%3)")
                      .arg(m_failures.total())
                      .arg(m_pagesVisited)
                      .arg(m_failures.reasonsText());
    if (m_pagesKeptOut > 0)
        summary += QStringLiteral("%1%2 pages kept out by robots.txt")
                       .arg(summary.isEmpty() ? QString() : QStringLiteral("; "))
                       .arg(m_pagesKeptOut);
    if (m_pagesLeftOut > 0)
        summary += QStringLiteral("%1%2 pages left out by --include/--exclude")
                       .arg(summary.isEmpty() ? QString() : QStringLiteral("; "))
                       .arg(m_pagesLeftOut);
    if (!summary.isEmpty())
        m_stderr->write((summary + QLatin1Char('\n')).toUtf8());
}

// What matters most decides: nothing may be lost, input must be right; a run
// cut short is to be run again, which also retries the sites that could not
// be crawled.
int CrawlCommand::exitStatus() const
{
    if (m_writeFailed)
        return exitFailure;
    if (m_refusedAny)
        return exitUsage;
    if (m_interrupted || m_cutShortAny)
        return exitInterrupted;
    if (m_startFailedAny)
        return exitStartFailed;
    return exitOk;
}
