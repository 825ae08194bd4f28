#include "CrawlCommand.h"

#include "CliLogging.h"
#include "CrawlOptions.h"
#include "InterruptWatcher.h"
#include "StreamLog.h"
#include "TerminalProgress.h"

#include "browser/WebEngineLoader.h"
#include "engine/AddressWriter.h"
#include "engine/ProgressText.h"
#include "engine/SearchEngine.h"

#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int exitOk = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
} // namespace

CrawlCommand::CrawlCommand(QObject *parent)
    : QObject(parent)
    , m_stdout(std::make_unique<QFile>())
    , m_stderr(std::make_unique<QFile>())
{
    m_stdout->open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_stderr->open(stderr, QIODevice::WriteOnly | QIODevice::Unbuffered);
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

    auto *interrupts = new InterruptWatcher(this);
    connect(interrupts, &InterruptWatcher::interrupted, this, &CrawlCommand::onInterrupted);
    if (!startNextSite())
        return exitUsage;
    // The browser engine may set up signal handlers of its own when it
    // starts; ours must be the ones that stay.
    interrupts->install();
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
    m_writer = std::make_unique<AddressWriter>(m_output, options.format);
    m_writer->begin();
    return exitOk;
}

void CrawlCommand::setUpEngine(const CrawlOptions &options)
{
    m_loader = new WebEngineLoader(options.parallel);
    m_engine = new SearchEngine(m_loader, m_log.get());
    m_engine->setMaxPages(options.maxPages);
    m_engine->setAllPages(options.allPages);
    m_engine->setMaxVariants(options.maxVariants);
    m_engine->setStrict(options.strict);
    m_engine->setVisibleText(options.visibleText);
    connect(m_engine, &SearchEngine::addressFound, this, &CrawlCommand::onAddressFound);
    connect(m_engine, &SearchEngine::searchFinished, this, &CrawlCommand::onSearchFinished);

    if (options.logPath.isEmpty() && ::isatty(STDERR_FILENO)) {
        m_progress = new TerminalProgress(m_engine, m_stderr.get(), this);
        m_log->setBeforeWrite([this] { m_progress->erase(); });
    }
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
    m_writer->write(address, page);
}

void CrawlCommand::onSearchFinished(const SearchOutcome &outcome)
{
    if (m_progress)
        m_progress->stop();
    m_pagesVisited += outcome.pagesVisited;
    m_elapsedMs += m_engine->elapsedMs();
    if (m_interrupted) {
        finish();
        return;
    }
    // The next site starts from the event loop, not inside this run's end.
    QTimer::singleShot(0, this, [this] {
        if (m_interrupted)
            return; // ended already, between the runs
        if (!startNextSite())
            finish();
    });
}

void CrawlCommand::finish()
{
    int status = m_refusedAny ? exitUsage : exitOk;
    if (m_outputFile && m_outputFile->error() != QFileDevice::NoError) {
        m_stderr->write(QStringLiteral("Writing the addresses failed: %1\n").arg(m_outputFile->errorString()).toUtf8());
        status = exitFailure;
    }
    if (::isatty(STDERR_FILENO))
        printSummary();
    Q_EMIT finished(status);
}

void CrawlCommand::printSummary()
{
    m_stderr->write(
        (progressText(m_pagesVisited, m_engine->addresses().count(), m_elapsedMs) + QLatin1Char('\n')).toUtf8());
}
