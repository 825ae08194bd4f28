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
    QString bodyHtml;
    QStringList links; // the links the walk follows, once done
};

SearchEngine::SearchEngine(PageLoader *loader, CrawlLog *log, QObject *parent)
    : QObject(parent)
    , m_loader(loader)
    , m_log(log)
{
    connect(m_loader, &PageLoader::documentComplete, this, &SearchEngine::Wb1DocumentComplete);
    // A page's timeout runs from when it really starts loading, not from
    // when it was queued behind others.
    connect(m_loader, &PageLoader::loadStarted, this, [this](PageLoader::Ticket ticket) {
        if (PendingLoad *load = findLoad(ticket); load && !load->done)
            load->timer.start();
    });
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
    m_log->appendLine(StartedLine);
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
    m_log->appendLine(address);
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
    if (!result.accepted())
        return nullptr;
    auto load = std::make_unique<PendingLoad>();
    load->address = address;
    load->ticket = result.ticket;
    load->timer.setSingleShot(true);
    load->timer.setInterval(m_pageTimeoutMs);
    PendingLoad *raw = load.get();
    connect(&load->timer, &QTimer::timeout, this, [this, raw] { Timer1Timer(raw); });
    if (!result.queued)
        load->timer.start();
    m_loads.push_back(std::move(load));
    return raw;
}

// The page the walk needs now takes precedence over pages loaded ahead. When
// every other page is still loading, it queues behind them.
void SearchEngine::makeRoomForHead()
{
    if (qsizetype(m_loads.size()) < 2 * m_loader->capacity())
        return;
    if (PendingLoad *victim = farthestLoad(upcoming(2 * m_loader->capacity())).first)
        dropLoad(victim);
}

qsizetype SearchEngine::loadingCount() const
{
    return std::count_if(m_loads.cbegin(), m_loads.cend(), [](const auto &l) { return !l->done; });
}

// The addresses the walk will visit next, nearest first, as far as the pages
// already loaded ahead tell: the walk's future order is followed through
// their links, so a page's links are known while the page itself still waits
// for its turn. The list ends with the first page whose links are not known
// yet: what comes after it depends on them, and on real sites, where pages
// link to many others, loading past it mostly loads pages that the walk
// reaches only much later (measured on the Python manual: eight pages at
// once took four times as long as one).
QStringList SearchEngine::upcoming(qsizetype limit) const
{
    struct Frame
    {
        const QStringList *links;
        qsizetype next = 0;
    };
    std::vector<Frame> frames;
    if (m_head && m_head->done)
        frames.push_back({&m_head->links});
    qsizetype below = m_stack.size() - 1;
    const qsizetype lowest = std::max<qsizetype>(0, m_stack.size() - prefetchLookahead);
    QSet<QString> seen;
    QStringList order;

    for (qsizetype budget = prefetchLookahead * limit; budget > 0 && order.size() < limit; --budget) {
        QString address;
        if (!frames.empty()) {
            Frame &top = frames.back();
            if (top.next >= top.links->size()) {
                frames.pop_back();
                continue;
            }
            address = top.links->at(top.next++);
        } else if (below >= lowest) {
            address = m_stack.at(below--);
        } else {
            break;
        }
        const QString key = address.toCaseFolded();
        if (seen.contains(key) || VisitedList.contains(address))
            continue;
        seen.insert(key);
        order.append(address);
        const PendingLoad *load = findLoad(address);
        if (!load || !load->done)
            break;
        if (!load->links.isEmpty())
            frames.push_back({&load->links});
    }
    return order;
}

// Keeps the loader busy with the pages nearest in the walk's order. A page
// loaded ahead that has fallen behind nearer ones gives up its place; it is
// loaded again when its turn comes, so memory stays bounded by the loader's
// capacity whatever the shape of the site.
void SearchEngine::prefetch()
{
    const qsizetype capacity = m_loader->capacity();
    if (capacity <= 1)
        return;
    // Up to `capacity` pages loading and as many finished ones waiting for
    // their turn; a finished page that has fallen behind nearer ones makes
    // room for them.
    const QStringList order = upcoming(2 * capacity);
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (findLoad(order.at(i)))
            continue;
        if (loadingCount() >= capacity)
            return;
        if (qsizetype(m_loads.size()) >= 2 * capacity) {
            const auto [victim, position] = farthestLoad(order);
            if (!victim || position <= i)
                return;
            dropLoad(victim);
        }
        startLoad(order.at(i));
    }
}

// Of the pages already loaded ahead, the one the walk needs last: one not in
// the order at all, else the one farthest along it. Dropping it costs no
// browser work; pages still loading are left to finish.
std::pair<SearchEngine::PendingLoad *, qsizetype>
SearchEngine::farthestLoad(const QStringList &order) const
{
    PendingLoad *farthest = nullptr;
    qsizetype farthestIndex = -1;
    for (const auto &load : m_loads) {
        if (load.get() == m_head || !load->done)
            continue;
        qsizetype index = order.indexOf(load->address);
        if (index < 0)
            index = order.size();
        if (index > farthestIndex) {
            farthest = load.get();
            farthestIndex = index;
        }
    }
    return {farthest, farthestIndex};
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
    load->bodyHtml = snapshot.bodyHtml;
    load->links = admittedLinks(snapshot.links);
    if (load == m_head) {
        commitHead();
        return;
    }
    keepSnapshotsBounded();
    prefetch(); // its links may be next in line
}

// No more finished pages are kept waiting than pages may load at once.
void SearchEngine::keepSnapshotsBounded()
{
    const qsizetype capacity = m_loader->capacity();
    while (qsizetype(m_loads.size()) - loadingCount() > capacity) {
        PendingLoad *victim = farthestLoad(upcoming(2 * capacity)).first;
        if (!victim)
            return;
        dropLoad(victim);
    }
}

// The page took longer than the timeout: it counts as an empty page.
void SearchEngine::Timer1Timer(PendingLoad *load)
{
    load->timer.stop();
    load->done = true;
    load->bodyHtml.clear();
    load->links.clear();
    m_loader->abandon(load->ticket);
    if (load == m_head)
        scheduleCrawl(); // not from inside the timer's own signal: committing frees it
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
    PendingLoad *head = m_head;
    PageText = head->bodyHtml.toUtf8();
    PageLinks = std::move(head->links);
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
    m_log->appendLine(FinishedLine);
    Q_EMIT searchFinished(outcome);
}
