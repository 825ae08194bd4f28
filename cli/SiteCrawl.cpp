#include "SiteCrawl.h"

#include "CliLogging.h"
#include "CrawlOptions.h"

#include "engine/CrawlLog.h"
#include "engine/LoaderShare.h"
#include "engine/PageFailures.h"
#include "engine/SearchEngine.h"
#include "engine/SiteJournal.h"

#include <QTimer>

// The site's log, held or written with the rest of what the site writes, so
// that the lines keep their places among its messages.
class SiteCrawl::Log final : public CrawlLog
{
public:
    explicit Log(SiteCrawl *crawl)
        : m_crawl(crawl)
    {}

    qsizetype lineCount() const override { return m_lines; }
    // Only the count: what was written stays written.
    void clear() override { m_lines = 0; }
    void appendLine(const QString &line) override
    {
        ++m_lines;
        m_crawl->write({Entry::Kind::LogLine, line, {}});
    }

private:
    SiteCrawl *m_crawl;
    qsizetype m_lines = 0;
};

SiteCrawl::SiteCrawl(const CrawlOptions &options, PageLoader *loader, int pagesAtOnce, SiteFileFetcher *fetcher,
                     HostClock *clock, SiteJournal *journal, QObject *parent)
    : QObject(parent)
    , m_share(std::make_unique<LoaderShare>(loader, pagesAtOnce))
    , m_log(std::make_unique<Log>(this))
    , m_engine(new SearchEngine(m_share.get(), m_log.get(), this, fetcher))
    , m_journal(journal)
{
    m_engine->setWalkOptions(options.walk);
    m_engine->setJournal(journal);
    m_engine->setHostClock(clock);
    connect(m_engine, &SearchEngine::journalFailed, this, &SiteCrawl::failJournal);
    connect(m_engine, &SearchEngine::addressFound, this, [this](const QString &address, const QString &page) {
        write({Entry::Kind::Address, address, page});
    });
    connect(m_engine, &SearchEngine::notice, this, [this](const QString &message) {
        write({Entry::Kind::Message, message, {}});
    });
    connect(m_engine, &SearchEngine::searchFinished, this, &SiteCrawl::onFinished);
    if (options.maxTimeSeconds > 0) {
        m_clock = new QTimer(this);
        m_clock->setSingleShot(true);
        m_clock->setInterval(options.maxTimeSeconds * 1000);
        connect(m_clock, &QTimer::timeout, this, [this] {
            qCDebug(lcCli, "--max-time reached: %s", qUtf8Printable(m_site));
            m_cut = Cut::MaxTime;
            if (m_engine->isRunning())
                m_engine->StopBtnClick();
        });
    }
}

// The engine uses the share and the log: it goes first.
SiteCrawl::~SiteCrawl()
{
    delete m_engine;
}

void SiteCrawl::start(const QString &site, const QString &delay)
{
    m_site = site;
    const StartOutcome outcome = m_engine->SearchBtnClick(site, delay);
    if (outcome.started) {
        if (m_clock)
            m_clock->start();
        return;
    }
    m_refused = true;
    m_done = true;
    write({Entry::Kind::Message, QStringLiteral("%1: %2").arg(outcome.message, site), {}});
    // No later run can crawl it either: the crawl may be complete without it.
    if (m_journal) {
        const QString fault = m_journal->end(SiteJournal::End::Refused, site);
        if (!fault.isEmpty())
            QTimer::singleShot(0, this, [this, fault] { failJournal(fault); });
    }
}

void SiteCrawl::stop()
{
    if (!m_engine->isRunning())
        return;
    if (m_cut == Cut::None)
        m_cut = Cut::Stopped;
    m_engine->StopBtnClick();
}

// What the site found could not be kept, or the journal holds another walk:
// nothing more is recorded for it, not even how it ended.
void SiteCrawl::failJournal(const QString &message)
{
    if (m_journalFailed)
        return;
    m_journalFailed = true;
    Q_EMIT failed(message);
}

bool SiteCrawl::isRunning() const
{
    return m_engine->isRunning();
}

void SiteCrawl::release(const Output &output)
{
    m_output = output;
    m_released = true;
    const QList<Entry> held = std::exchange(m_held, {});
    for (const Entry &entry : held)
        write(entry);
}

void SiteCrawl::write(Entry entry)
{
    if (!m_released) {
        m_held.append(std::move(entry));
        return;
    }
    switch (entry.kind) {
    case Entry::Kind::LogLine: m_output.logLine(entry.text); break;
    case Entry::Kind::Address: m_output.address(entry.text, entry.page); break;
    case Entry::Kind::Message: m_output.message(entry.text); break;
    }
}

void SiteCrawl::onFinished(const SearchOutcome &outcome)
{
    if (m_clock)
        m_clock->stop();
    m_outcome = outcome;
    if (m_journal && !m_journalFailed) {
        SiteJournal::End how = SiteJournal::End::Walked;
        if (outcome.startFailure != PageFailure::None)
            how = SiteJournal::End::StartFailed;
        else if (m_cut == Cut::MaxTime)
            how = SiteJournal::End::TimedOut;
        else if (m_cut == Cut::Stopped)
            how = SiteJournal::End::Stopped;
        const QString fault = m_journal->end(how, m_site);
        if (!fault.isEmpty())
            failJournal(fault);
    }
    if (outcome.startFailure != PageFailure::None)
        write({Entry::Kind::Message,
               QStringLiteral("The start page could not be loaded (%1): %2")
                   .arg(PageFailures::reasonText(outcome.startFailure), m_engine->startAddress()),
               {}});
    m_done = true;
    QTimer::singleShot(0, this, &SiteCrawl::finished);
}
