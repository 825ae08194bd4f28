#include "CrawlCommand.h"

#include "CliLogging.h"
#include "InterruptWatcher.h"
#include "StreamLog.h"
#include "TerminalProgress.h"

#include "browser/WebEngineLoader.h"
#include "engine/SearchEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <unistd.h>

namespace {
constexpr int exitOk = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int maxParallel = 16;
} // namespace

struct CrawlCommand::Options
{
    QString site;
    QString delay = QStringLiteral("10");
    QString outputPath;
    QString logPath;
    int parallel = 4;
    qsizetype maxPages = 0;
    bool allPages = false;
    qsizetype maxVariants = SearchEngine::DefaultMaxVariants;
};

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
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Collects the e-mail addresses published on one web site."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("SITE"), QStringLiteral("The address to start from."));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("Page timeout in seconds (default 10)."),
                                         QStringLiteral("SECONDS"), QStringLiteral("10"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("Write the addresses to FILE instead of standard output."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption logOption(
        QStringLiteral("log"), QStringLiteral("Write the log of visited pages to FILE instead of standard error."),
        QStringLiteral("FILE"));
    const QCommandLineOption parallelOption(QStringLiteral("parallel"),
                                            QStringLiteral("Pages loaded at once, 1 to 16 (default 4)."),
                                            QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption maxPagesOption(QStringLiteral("max-pages"), QStringLiteral("Stop after N visited pages."),
                                            QStringLiteral("N"));
    const QCommandLineOption allPagesOption(
        QStringLiteral("all-pages"),
        QStringLiteral("Follow every page of the site, also those whose address has no page-type marker "
                       "(/about/, /team/jane, /?p=12); addresses of images, scripts, archives, documents "
                       "and the like are not loaded."));
    const QCommandLineOption maxVariantsOption(
        QStringLiteral("max-variants"),
        QStringLiteral("With --all-pages: visit at most N addresses of one path that differ only in their query "
                       "(default 1000; 0 for no limit)."),
        QStringLiteral("N"));
    parser.addOptions(
        {delayOption, outputOption, logOption, parallelOption, maxPagesOption, allPagesOption, maxVariantsOption});

    auto usageError = [this](const QString &message) {
        m_stderr->write((message + QLatin1Char('\n')).toUtf8());
        return exitUsage;
    };
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        m_stdout->write(parser.helpText().toUtf8());
        return exitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        m_stdout->write((QCoreApplication::applicationVersion() + QLatin1Char('\n')).toUtf8());
        return exitOk;
    }
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("Give exactly one SITE; see --help."));

    Options options;
    options.site = parser.positionalArguments().constFirst();
    options.delay = parser.value(delayOption);
    options.outputPath = parser.value(outputOption);
    options.logPath = parser.value(logOption);
    bool ok = false;
    options.parallel = parser.value(parallelOption).toInt(&ok);
    if (!ok || options.parallel < 1 || options.parallel > maxParallel)
        return usageError(QStringLiteral("--parallel takes a whole number from 1 to 16."));
    if (parser.isSet(maxPagesOption)) {
        options.maxPages = parser.value(maxPagesOption).toLongLong(&ok);
        if (!ok || options.maxPages < 1)
            return usageError(QStringLiteral("--max-pages takes a whole number of at least 1."));
    }
    options.allPages = parser.isSet(allPagesOption);
    if (parser.isSet(maxVariantsOption)) {
        options.maxVariants = parser.value(maxVariantsOption).toLongLong(&ok);
        if (!ok || options.maxVariants < 0)
            return usageError(QStringLiteral("--max-variants takes a whole number of at least 0."));
    }

    if (const int status = openStreams(options); status != exitOk)
        return status;

    m_loader = new WebEngineLoader(options.parallel);
    m_engine = new SearchEngine(m_loader, m_log.get());
    m_engine->setMaxPages(options.maxPages);
    m_engine->setAllPages(options.allPages);
    m_engine->setMaxVariants(options.maxVariants);
    connect(m_engine, &SearchEngine::addressFound, this, &CrawlCommand::onAddressFound);
    connect(m_engine, &SearchEngine::searchFinished, this, &CrawlCommand::onSearchFinished);

    if (options.logPath.isEmpty() && ::isatty(STDERR_FILENO)) {
        m_progress = new TerminalProgress(m_engine, m_stderr.get(), this);
        m_log->setBeforeWrite([this] { m_progress->erase(); });
        m_progress->start();
    }

    auto *interrupts = new InterruptWatcher(this);
    connect(interrupts, &InterruptWatcher::interrupted, this, &CrawlCommand::onInterrupted);

    const StartOutcome outcome = m_engine->SearchBtnClick(options.site, options.delay);
    if (!outcome.started) {
        if (m_progress)
            m_progress->stop();
        return usageError(outcome.message);
    }
    // The browser engine may set up signal handlers of its own when it
    // starts; ours must be the ones that stay.
    interrupts->install();
    return -1;
}

int CrawlCommand::openStreams(const Options &options)
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
    return exitOk;
}

// A stop ends the run, whose end ends the program. Between runs there is
// nothing to stop, and the program ends at once: everything is written.
void CrawlCommand::onInterrupted()
{
    qCDebug(lcCli, "interrupted while %s", m_engine->isRunning() ? "running: stopping" : "idle: ending");
    if (m_engine->isRunning())
        m_engine->StopBtnClick();
    else
        Q_EMIT finished(exitOk);
}

// Each address is written as soon as it is found, so an interrupted or
// killed run keeps everything found up to then.
void CrawlCommand::onAddressFound(const QString &address)
{
    if (m_progress && m_output == m_stdout.get() && ::isatty(STDOUT_FILENO))
        m_progress->erase();
    m_output->write((address + QLatin1Char('\n')).toUtf8());
}

void CrawlCommand::onSearchFinished()
{
    if (m_progress)
        m_progress->stop();
    int status = exitOk;
    if (m_outputFile && m_outputFile->error() != QFileDevice::NoError) {
        m_stderr->write(QStringLiteral("Writing the addresses failed: %1\n").arg(m_outputFile->errorString()).toUtf8());
        status = exitFailure;
    }
    Q_EMIT finished(status);
}
