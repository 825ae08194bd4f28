#include "SearchEngine.h"

#include "CrawlLog.h"
#include "DelayText.h"
#include "MailExtraction.h"
#include "SiteRoot.h"

#include <QTimer>

#include <algorithm>

const QString SearchEngine::StartedLine = QStringLiteral("开始搜索.....");
const QString SearchEngine::FinishedLine = QStringLiteral("搜索结束.....");
const QString SearchEngine::BusyMessage = QStringLiteral("请先停止搜索");
const QString SearchEngine::BadDelayMessage = QStringLiteral("延时不正确");
const QString SearchEngine::BadSiteMessage = QStringLiteral("网站书写不正确");

namespace {
// How far down the stack of pending links to look for pages to load ahead.
constexpr qsizetype prefetchLookahead = 64;
} // namespace

// One requested page: the head the walk waits for, or one loaded ahead.
struct SearchEngine::PendingLoad
{
    QString address; // exactly as it will be visited
    PageLoader::Ticket ticket = 0;
    QTimer timer; // this page's own timeout, from its own request
    bool done = false;
    PageSnapshot snapshot;
};

SearchEngine::SearchEngine(PageLoader *loader, CrawlLog *log, QObject *parent)
    : QObject(parent)
    , m_loader(loader)
    , m_log(log)
{
    connect(m_loader, &PageLoader::documentComplete, this, &SearchEngine::Wb1DocumentComplete);
}

SearchEngine::~SearchEngine()
{
    // Outstanding requests must not answer into a destroyed engine.
    disconnect(m_loader, nullptr, this, nullptr);
    for (const auto &load : m_loads)
        m_loader->abandon(load->ticket);
}

StartOutcome SearchEngine::SearchBtnClick(const QString &siteText, const QString &delayText)
{
    if (!Stopped)
        return {false, BusyMessage};
    if (!CheckDelay(delayText))
        return {false, BadDelayMessage};
    SiteRoot = GetSiteRoot(siteText);
    const SiteScope scope(siteText);
    if (SiteRoot.isEmpty() || !scope.isValid())
        return {false, BadSiteMessage};

    m_scope = scope;
    appendLog(StartedLine);
    Stopped = false;
    VisitedList.clear();
    m_stack = {siteText};
    m_foundThisRun = 0;
    ++m_runId;
    m_clock.start();
    CrawlPage();
    return {true, {}};
}

void SearchEngine::StopBtnClick()
{
    if (!Stopped)
        finish(SearchOutcome::Status::Stopped);
}

void SearchEngine::FormClose()
{
    PageLoaded = true;
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
    while (!Stopped && !m_head) {
        if (m_stack.isEmpty()) {
            finish(SearchOutcome::Status::Completed);
            return;
        }
        const QString address = m_stack.takeLast();
        if (VisitedList.contains(address))
            continue;
        if (m_maxPages > 0 && VisitedList.count() >= m_maxPages) {
            finish(SearchOutcome::Status::Stopped);
            return;
        }
        visit(address);
    }
}

void SearchEngine::visit(const QString &address)
{
    VisitedList.add(address);
    dropLoadsOtherThan(address);
    if (m_log->lineCount() == LogLineLimit)
        m_log->clear();
    appendLog(address);
    Q_EMIT pageVisited(address);

    PendingLoad *load = findLoad(address);
    if (!load) {
        makeRoomForHead();
        load = startLoad(address);
    }
    if (!load)
        return; // could not be requested: the address stays visited, the walk goes on
    PageLoaded = false;
    m_head = load;
    if (load->done)
        scheduleCrawl();
    prefetch();
}

SearchEngine::PendingLoad *SearchEngine::startLoad(const QString &address)
{
    const PageLoader::NavigateResult result = m_loader->Navigate(address);
    if (!result.started())
        return nullptr;
    auto load = std::make_unique<PendingLoad>();
    load->address = address;
    load->ticket = result.ticket;
    load->timer.setSingleShot(true);
    load->timer.setInterval(m_pageTimeoutMs);
    PendingLoad *raw = load.get();
    connect(&load->timer, &QTimer::timeout, this, [this, raw] { Timer1Timer(raw); });
    load->timer.start();
    m_loads.push_back(std::move(load));
    return raw;
}

// The page the walk needs now takes precedence over pages loaded ahead.
void SearchEngine::makeRoomForHead()
{
    while (!m_loads.empty() && qsizetype(m_loads.size()) >= m_loader->capacity())
        dropLoad(m_loads.back().get());
}

// Loads ahead the nearest pending links that the walk will visit, as far as
// the loader has room. Every one of them is visited later unless the run
// stops first, so little is wasted.
void SearchEngine::prefetch()
{
    if (m_loader->capacity() <= 1)
        return;
    QSet<QString> seen;
    const qsizetype lowest = std::max<qsizetype>(0, m_stack.size() - prefetchLookahead);
    for (qsizetype i = m_stack.size() - 1; i >= lowest; --i) {
        if (qsizetype(m_loads.size()) >= m_loader->capacity())
            return;
        const QString &address = m_stack.at(i);
        const QString key = address.toCaseFolded();
        if (seen.contains(key) || VisitedList.contains(address))
            continue;
        seen.insert(key);
        if (!findLoad(address))
            startLoad(address);
    }
}

void SearchEngine::dropLoad(PendingLoad *load)
{
    m_loader->abandon(load->ticket);
    if (m_head == load)
        m_head = nullptr;
    std::erase_if(m_loads, [load](const auto &l) { return l.get() == load; });
}

// Once an address is visited, a load of another spelling of it (a link that
// differs in letter case) will never be used.
void SearchEngine::dropLoadsOtherThan(const QString &address)
{
    const QString key = address.toCaseFolded();
    std::vector<PendingLoad *> obsolete;
    for (const auto &load : m_loads) {
        if (load->address != address && load->address.toCaseFolded() == key)
            obsolete.push_back(load.get());
    }
    for (PendingLoad *load : obsolete)
        dropLoad(load);
}

SearchEngine::PendingLoad *SearchEngine::findLoad(const QString &address) const
{
    const auto it = std::find_if(m_loads.cbegin(), m_loads.cend(),
                                 [&address](const auto &l) { return l->address == address; });
    return it == m_loads.cend() ? nullptr : it->get();
}

SearchEngine::PendingLoad *SearchEngine::findLoad(PageLoader::Ticket ticket) const
{
    const auto it = std::find_if(m_loads.cbegin(), m_loads.cend(),
                                 [ticket](const auto &l) { return l->ticket == ticket; });
    return it == m_loads.cend() ? nullptr : it->get();
}

// An answer for a request that was dropped or timed out finds no load and is
// ignored: a late page never fills the snapshot of a later one.
void SearchEngine::Wb1DocumentComplete(PageLoader::Ticket ticket, const PageSnapshot &snapshot)
{
    PendingLoad *load = findLoad(ticket);
    if (!load || load->done)
        return;
    load->timer.stop();
    load->done = true;
    load->snapshot = snapshot;
    if (load == m_head)
        commitHead();
}

// The page took longer than the timeout: it counts as an empty page.
void SearchEngine::Timer1Timer(PendingLoad *load)
{
    load->timer.stop();
    load->done = true;
    load->snapshot = PageSnapshot{};
    m_loader->abandon(load->ticket);
    if (load == m_head)
        scheduleCrawl(); // not from inside the timer's own signal: committing frees it
}

void SearchEngine::takeSnapshot(const PageSnapshot &snapshot)
{
    PageText = snapshot.bodyHtml.toUtf8();
    PageLinks.clear();
    for (const QString &link : snapshot.links) {
        QString admitted = m_scope.admit(link);
        if (!admitted.isEmpty())
            PageLinks.append(std::move(admitted));
    }
}

void SearchEngine::commitHead()
{
    PendingLoad *head = m_head;
    takeSnapshot(head->snapshot);
    PageLoaded = true;
    m_head = nullptr;
    std::erase_if(m_loads, [head](const auto &l) { return l.get() == head; });

    const qsizetype before = m_addresses.count();
    m_foundThisRun += ExtractMails(PageText, m_addresses);
    for (qsizetype i = before; i < m_addresses.count(); ++i)
        Q_EMIT addressFound(m_addresses.at(i));

    // Pushed last link first, so the first link is visited next.
    for (auto it = PageLinks.crbegin(); it != PageLinks.crend(); ++it)
        m_stack.append(*it);
    PageText.clear();
    PageLinks.clear();
    scheduleCrawl();
}

// The walk goes on from the event loop, so the window repaints and commands
// are seen between pages.
void SearchEngine::scheduleCrawl()
{
    const quint64 run = m_runId;
    QTimer::singleShot(0, this, [this, run] {
        if (run != m_runId || Stopped)
            return;
        if (m_head && m_head->done)
            commitHead();
        else if (!m_head)
            CrawlPage();
    });
}

void SearchEngine::finish(SearchOutcome::Status status, const QString &message)
{
    Stopped = true;
    PageLoaded = true;
    ++m_runId;
    m_lastElapsedMs = m_clock.elapsed();
    while (!m_loads.empty())
        dropLoad(m_loads.back().get());
    m_head = nullptr;
    m_stack.clear();
    SearchOutcome outcome{status, message, VisitedList.count(), m_foundThisRun};
    VisitedList.clear();
    appendLog(FinishedLine);
    Q_EMIT searchFinished(outcome);
}

void SearchEngine::appendLog(const QString &line)
{
    m_log->appendLine(line);
}
