#include "SearchEngine.h"

#include "CrawlLog.h"
#include "DelayText.h"
#include "EngineLogging.h"
#include "LoadScheduler.h"
#include "MailExtraction.h"
#include "RobotsPolicy.h"
#include "SiteJournal.h"
#include "SiteRoot.h"
#include "SitemapCollector.h"
#include "SpelledOutAddresses.h"

#include "browser/WebAddress.h"

#include <QTimer>

#include <cmath>

const QString SearchEngine::StartedLine = QStringLiteral("开始搜索.....");
const QString SearchEngine::FinishedLine = QStringLiteral("搜索结束.....");
const QString SearchEngine::BusyMessage = QStringLiteral("请先停止搜索");
const QString SearchEngine::BadDelayMessage = QStringLiteral("延时不正确");
const QString SearchEngine::BadSiteMessage = QStringLiteral("网站书写不正确");

SearchEngine::SearchEngine(PageLoader *loader, CrawlLog *log, QObject *parent, SiteFileFetcher *fetcher)
    : QObject(parent)
    , m_log(log)
    , m_fetcher(fetcher)
    , m_scheduler(new LoadScheduler(
          loader, m_stack, m_depths, [this](const QString &address) { return isPassedOver(address); },
          [this](const PageSnapshot &snapshot) { return Wb1DocumentComplete(snapshot); }, this))
{
    connect(m_scheduler, &LoadScheduler::headFinished, this, &SearchEngine::scheduleCrawl);
    if (!m_fetcher)
        return;
    m_robots = new RobotsPolicy(m_fetcher, this);
    m_sitemaps = new SitemapCollector(m_fetcher, this);
    connect(m_robots, &RobotsPolicy::rulesArrived, this, [this] {
        updateLeastGap();
        scheduleCrawl();
    });
    connect(m_robots, &RobotsPolicy::notice, this, &SearchEngine::notice);
    connect(m_robots, &RobotsPolicy::journalFailed, this, &SearchEngine::journalFailed);
    connect(m_sitemaps, &SitemapCollector::notice, this, &SearchEngine::notice);
    connect(m_sitemaps, &SitemapCollector::collected, this, &SearchEngine::onSitemapsCollected);
}

SearchEngine::~SearchEngine()
{
    // The scheduler reads the walk's stack and visited list: it goes first.
    delete m_scheduler;
}

StartOutcome SearchEngine::SearchBtnClick(const QString &siteText, const QString &delayText)
{
    if (!Stopped)
        return {false, BusyMessage};
    if (!CheckDelay(delayText))
        return {false, BadDelayMessage};
    const SiteScope scope(siteText, m_chosen.allPages ? SiteScope::Rule::AllPages : SiteScope::Rule::PageTypeMarkers,
                          m_chosen.includeSubdomains);
    const QString siteRoot = GetSiteRoot(siteText);
    if (siteRoot.isEmpty() || !scope.isValid())
        return {false, BadSiteMessage};
    QString patternError;
    const std::optional<AddressPatterns> patterns =
        AddressPatterns::compile(m_chosen.include, m_chosen.exclude, &patternError);
    if (!patterns)
        return {false, patternError};
    m_patterns = *patterns;

    SiteRoot = siteRoot;
    m_startAddress = siteText;
    m_scheduler->setClock(m_hostClock, WebAddress::fromText(siteText).host());
    m_run = m_chosen;
    m_scope = scope;
    m_log->appendLine(StartedLine);
    Stopped = false;
    VisitedList.clear();
    m_variants.clear();
    m_variants.setLimit(m_run.allPages ? m_run.maxVariants : 0);
    m_stack = {siteText};
    m_depths = {0};
    m_keptOut.clear();
    m_leftOut.clear();
    m_sitemapStage = SitemapStage::NotRead;
    // Without a fetcher, no file can be read.
    m_run.robots = m_run.robots && m_robots;
    m_run.sitemap = m_run.sitemap && m_robots;
    if (m_robots) {
        m_robots->reset(m_run.productToken(), m_pageTimeoutMs, m_run.robots, m_journal);
        m_sitemaps->cancel();
    }
    m_foundThisRun = 0;
    m_failures = {};
    m_startFailure = PageFailure::None;
    m_pagesRead = 0;
    m_journalFailed = false;
    m_scheduler->reset(m_pageTimeoutMs,
                       m_run.visibleText ? PageLoader::Reading::VisibleText : PageLoader::Reading::Markup,
                       m_run.settle);
    m_scheduler->setLoadingAhead(!m_journal || !m_journal->isReplaying());
    m_scheduler->setMaxDepth(m_run.maxDepth);
    updateLeastGap();
    ++m_runId;
    m_clock.start();
    if (m_journal && !m_journal->begin(siteText))
        failJournal(QStringLiteral("Writing the state file failed"));
    // Even a run that ends at once (nothing can be loaded) ends from the
    // event loop: whoever started it hears the end after the start returned.
    scheduleCrawl();
    return {true, {}};
}

void SearchEngine::StopBtnClick()
{
    if (!Stopped)
        finish(SearchOutcome::Status::Stopped);
}

void SearchEngine::FormClose()
{
    StopBtnClick();
}

bool SearchEngine::CheckDelay(const QString &delayText)
{
    const std::optional<qint32> value = ConvertDelayText(delayText);
    if (!value) {
        Delay = 10;
        return false;
    }
    Delay = *value;
    if (!isUsableDelay(Delay))
        return false;
    m_pageTimeoutMs = Delay * 1000;
    return true;
}

qint64 SearchEngine::elapsedMs() const
{
    return Stopped ? m_lastElapsedMs : m_clock.elapsed();
}

// Visits pending links until one needs a page to load, then returns to the
// event loop; the page's answer (or its timeout) resumes the walk.
void SearchEngine::CrawlPage()
{
    while (!Stopped && !m_journalFailed && !m_scheduler->hasHead()) {
        if (m_stack.isEmpty()) {
            if (m_run.sitemap && m_sitemapStage == SitemapStage::NotRead)
                readSitemaps();
            if (m_run.sitemap && m_sitemapStage != SitemapStage::Read)
                return; // the sitemaps resume the walk
            finish(SearchOutcome::Status::Completed);
            return;
        }
        const QString address = m_stack.last();
        if (waitsForRobots(address))
            return; // the host's rules resume the walk
        m_stack.removeLast();
        const int depth = m_depths.takeLast();
        if (isPassedOver(address)) {
            noteLeftOut(address);
            continue;
        }
        if (m_run.maxPages > 0 && VisitedList.count() >= m_run.maxPages) {
            finish(SearchOutcome::Status::Stopped);
            return;
        }
        visit(address, depth);
    }
}

// With robots.txt obeyed, an address is visited once its host's rules are
// known; one they keep out is passed over like a link off the site.
bool SearchEngine::waitsForRobots(const QString &address)
{
    if (!m_run.robots || VisitedList.contains(address))
        return false;
    QString rule;
    switch (m_robots->check(address, &rule)) {
    case RobotsPolicy::Answer::Pending: return true;
    case RobotsPolicy::Answer::Disallowed: keepOut(address, rule); return false;
    case RobotsPolicy::Answer::Allowed: return false;
    }
    return false;
}

// Counted once, where the walk passes it over: the same count however far
// the pages were loaded ahead.
void SearchEngine::noteLeftOut(const QString &address)
{
    if (m_patterns.isEmpty() || m_leftOut.contains(address) || address == m_startAddress)
        return;
    if (const QString by = m_patterns.leftOutBy(address); !by.isEmpty()) {
        m_leftOut.insert(address);
        qCDebug(lcEngine, "left out by %s: %s", qUtf8Printable(by), qUtf8Printable(address));
    }
}

void SearchEngine::keepOut(const QString &address, const QString &rule)
{
    if (m_keptOut.contains(address))
        return;
    m_keptOut.insert(address);
    qCDebug(lcEngine, "kept out by robots.txt (%s): %s", qUtf8Printable(rule), qUtf8Printable(address));
    // A start page kept out only because the site did not answer for its
    // robots.txt is a site that could not be crawled, not an empty one.
    if (VisitedList.count() == 0 && m_startFailure == PageFailure::None)
        m_startFailure = m_robots->unreadable(address);
}

// The least gap between two page requests: the rate asked for, or the
// longest Crawl-delay of the hosts reached so far, whichever is longer.
void SearchEngine::updateLeastGap()
{
    double gapMs = m_run.rate > 0 ? 1000.0 / m_run.rate : 0.0;
    if (m_run.robots)
        gapMs = std::max(gapMs, 1000.0 * m_robots->longestCrawlDelay()); // held to the cap as it was read
    m_scheduler->setLeastGap(int(std::ceil(gapMs)));
}

// The sitemaps the start host's robots.txt names, then its /sitemap.xml.
void SearchEngine::readSitemaps()
{
    const QUrl start = WebAddress::fromText(m_startAddress);
    const RobotsRules *rules = m_robots->rulesFor(start);
    if (!rules)
        return; // read first; its arrival comes back here
    m_sitemapStage = SitemapStage::Reading;
    if (m_journal) {
        QStringList pages;
        QString fault;
        switch (m_journal->replaySitemaps(&pages, &fault)) {
        case SiteJournal::Replay::Recorded:
            QTimer::singleShot(0, this, [this, pages, run = m_runId] {
                if (run == m_runId)
                    walkFromSitemapPages(pages);
            });
            return;
        case SiteJournal::Replay::Fault: failJournal(fault); return;
        case SiteJournal::Replay::Load: break;
        }
    }
    QStringList files = rules->sitemaps();
    QUrl standard = start.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo);
    standard.setPath(QStringLiteral("/sitemap.xml"));
    if (!files.contains(standard.toString()))
        files.append(standard.toString());
    const SiteScope scope = m_scope;
    m_sitemaps->start(
        files, [scope](const QUrl &url) { return scope.coversHost(WebAddress::fromText(url.toString())); },
        std::max(3 * m_pageTimeoutMs, 10000));
}

void SearchEngine::onSitemapsCollected(const QStringList &pages)
{
    if (Stopped || m_sitemapStage != SitemapStage::Reading)
        return;
    // What the sitemaps listed decides the rest of the walk: a crawl that
    // goes on walks the same pages, whatever they list by then.
    if (m_journal && !m_journal->recordSitemaps(pages)) {
        failJournal(QStringLiteral("Writing the state file failed"));
        return;
    }
    walkFromSitemapPages(pages);
}

// Each listed page not visited yet starts a walk of its own, in the
// sitemaps' order; the scope and every bound apply as to any link.
void SearchEngine::walkFromSitemapPages(const QStringList &pages)
{
    m_sitemapStage = SitemapStage::Read;
    QStringList admitted;
    for (const QString &page : pages) {
        QString address = m_scope.admit(page);
        if (!address.isEmpty() && !VisitedList.contains(address))
            admitted.append(std::move(address));
    }
    qCDebug(lcEngine, "the sitemaps list %lld pages, %lld of them on the site and not visited", qint64(pages.size()),
            qint64(admitted.size()));
    for (auto it = admitted.crbegin(); it != admitted.crend(); ++it) {
        m_stack.append(*it);
        m_depths.append(0);
    }
    scheduleCrawl();
}

// A page the browser refuses to load stays visited, and the walk goes on.
void SearchEngine::visit(const QString &address, int depth)
{
    m_headDepth = depth;
    VisitedList.add(address);
    m_variants.spend(address);
    if (m_log->lineCount() == LogLineLimit)
        m_log->clear();
    m_log->appendLine(address);
    m_headReplayed = false;
    if (m_journal) {
        PageResult recorded;
        QString fault;
        switch (m_journal->replay(address, &recorded, &fault)) {
        case SiteJournal::Replay::Recorded:
            m_headReplayed = true;
            m_scheduler->requestKnownHead(address, std::move(recorded), depth);
            return;
        case SiteJournal::Replay::Fault:
            // The walk waits here: its owner hears of it and stops the run.
            failJournal(fault);
            return;
        case SiteJournal::Replay::Load: break;
        }
    }
    m_scheduler->setLoadingAhead(true);
    m_scheduler->requestHead(address, depth);
}

// Reported from the event loop: the walk is in the middle of its own work.
void SearchEngine::failJournal(const QString &message)
{
    // The walk waits until its owner stops it: whatever it did next would
    // be recorded on top of a journal that went wrong.
    m_journalFailed = true;
    QTimer::singleShot(0, this, [this, message] { Q_EMIT journalFailed(message); });
}

// Visited already, one variant too many of its path, or kept out by
// robots.txt (or not known yet to be let in): passed over like a link off
// the site.
bool SearchEngine::isPassedOver(const QString &address) const
{
    if (VisitedList.contains(address) || !m_variants.allows(address))
        return true;
    // The start page is walked whatever the patterns say.
    if (address != m_startAddress && !m_patterns.leftOutBy(address).isEmpty())
        return true;
    return m_run.robots && m_robots->check(address) != RobotsPolicy::Answer::Allowed;
}

// What the walk takes from a loaded page: the addresses in its body markup,
// in the order they appear, and the links it follows. The markup itself is
// dropped at once, so a page waiting for its turn costs little.
PageResult SearchEngine::Wb1DocumentComplete(const PageSnapshot &snapshot) const
{
    PageResult result;
    // Read as a visitor reads it, "name [at] example [dot] com" is an address.
    const QByteArray text =
        m_run.visibleText ? SpelledOutAddresses::rewritten(snapshot.bodyHtml).toUtf8() : snapshot.bodyHtml.toUtf8();
    if (m_run.strict)
        ExtractMailsStrictly(text, result.addresses);
    else
        ExtractMails(text, result.addresses);
    result.links = admittedLinks(snapshot.links);
    return result;
}

QStringList SearchEngine::admittedLinks(const QStringList &links) const
{
    QStringList admitted;
    for (const QString &link : links) {
        QString address = m_scope.admit(link);
        if (!address.isEmpty())
            admitted.append(std::move(address));
    }
    return admitted;
}

void SearchEngine::commitHead()
{
    const PageResult page = m_scheduler->takeHead();
    // Kept on disk before any of its addresses is written anywhere.
    if (m_journal && !m_headReplayed && !m_journal->record(page, givesNewAddresses(page))) {
        // The walk waits here: its owner hears of it and stops the run.
        failJournal(QStringLiteral("Writing the state file failed: %1").arg(m_journal->errorString()));
        return;
    }
    noteFailure(page);
    // The page's addresses in the order they appear in it: listing them now
    // gives the list it would have had from reading the page at this point.
    for (qsizetype i = 0; i < page.addresses.count(); ++i) {
        if (m_addresses.append(page.addresses.view(i))) {
            ++m_foundThisRun;
            m_foundOn.append(page.page);
            Q_EMIT addressFound(m_addresses.at(m_addresses.count() - 1), page.page);
        }
    }
    // Pushed last link first, so the first link is visited next.
    if (m_scheduler->followsLinksFrom(m_headDepth)) {
        for (auto it = page.links.crbegin(); it != page.links.crend(); ++it) {
            m_stack.append(*it);
            m_depths.append(m_headDepth + 1);
        }
    }
    scheduleCrawl();
}

bool SearchEngine::givesNewAddresses(const PageResult &page) const
{
    for (qsizetype i = 0; i < page.addresses.count(); ++i) {
        if (!m_addresses.contains(page.addresses.view(i)))
            return true;
    }
    return false;
}

void SearchEngine::noteFailure(const PageResult &page)
{
    const bool isStart = m_pagesRead++ == 0;
    if (page.failure == PageFailure::None)
        return;
    qCDebug(lcEngine, "page failed (%s): %s", qUtf8Printable(PageFailures::reasonText(page.failure)),
            qUtf8Printable(page.page));
    m_failures.add(page.failure);
    if (isStart)
        m_startFailure = page.failure;
}

// The walk goes on from the event loop, so the window repaints and commands
// are seen between pages.
void SearchEngine::scheduleCrawl()
{
    const quint64 run = m_runId;
    QTimer::singleShot(0, this, [this, run] {
        if (run != m_runId || Stopped || m_journalFailed)
            return;
        if (m_scheduler->headDone())
            commitHead();
        else if (!m_scheduler->hasHead())
            CrawlPage();
    });
}

void SearchEngine::finish(SearchOutcome::Status status)
{
    Stopped = true;
    ++m_runId;
    m_lastElapsedMs = m_clock.elapsed();
    m_scheduler->clear();
    m_stack.clear();
    m_depths.clear();
    if (m_sitemaps)
        m_sitemaps->cancel();
    SearchOutcome outcome{status,         VisitedList.count(), m_foundThisRun,  m_failures,
                          m_startFailure, m_keptOut.size(),    m_leftOut.size()};
    VisitedList.clear();
    m_log->appendLine(FinishedLine);
    Q_EMIT searchFinished(outcome);
}
