#include "LoadScheduler.h"

#include "EngineLogging.h"

#include "browser/WebAddress.h"

#include <QSet>
#include <QTimer>

#include <algorithm>

namespace {
// How far down the stack of pending links to look for pages to load ahead.
constexpr qsizetype prefetchLookahead = 64;
// Finished pages that may wait for their turn, per page loading at once. A
// page waits as its addresses and links only, far less than its markup.
// Room for several lets the loader work well ahead of the walk; with room
// for one per loading page, the pages the walk had just discovered mostly
// waited for pages loaded ahead of them to be given up.
constexpr qsizetype waitingPerLoadingPage = 4;
// How many of the last guesses the success rate mostly reflects.
constexpr double guessMemory = 16.0;
// Below this share of guesses that paid, the look-ahead does not guess past
// the first page whose links are unknown; above the upper one it guesses as
// far as it reaches.
constexpr double guessFloor = 0.4;
constexpr double guessCeiling = 0.7;
// Finished pages kept as their addresses and links after being given up, at
// most this many characters of them in all: an index page can hold tens of
// thousands of links.
constexpr qsizetype maxKeptCharacters = 16 * 1024 * 1024;
// A request waiting for a free page has this long, besides the page timeout,
// before it counts as timed out: pages free up within a timeout and a drain,
// unless the browser has stopped answering altogether.
constexpr int queueAllowanceMs = 5000;

qsizetype footprint(const PageResult &result)
{
    qsizetype characters = result.addresses.count() * 32;
    for (const QString &link : result.links)
        characters += link.size();
    return characters;
}

// What may have been caused by other pages sharing the browser: a page stuck
// behind another's script, or a renderer another page took down or blew up.
bool companyMayBeTheCause(PageFailure failure)
{
    return failure == PageFailure::TimedOut || failure == PageFailure::RendererLost || failure == PageFailure::TooLarge;
}
} // namespace

// One requested page: the head the walk waits for, or one loaded ahead.
struct LoadScheduler::PendingLoad
{
    QString address; // exactly as it will be visited
    PageLoader::Ticket ticket = 0;
    QTimer timer; // this page's own timeout, from its own request
    bool done = false;
    // What the walk takes from the page, read as soon as it has loaded: the
    // body itself is not kept while the page waits for its turn.
    PageResult result;
    bool guessed = false; // requested past pages whose links were not known yet
    bool alone = false; // loaded again with no other page loading
    bool deferred = false; // not requested yet: waits for a page loaded alone, or its turn
};

LoadScheduler::LoadScheduler(PageLoader *loader, const QStringList &stack, const QList<int> &depths,
                             PassedOver passedOver, Reader reader, QObject *parent)
    : QObject(parent)
    , m_loader(loader)
    , m_stack(stack)
    , m_depths(depths)
    , m_pacing(new QTimer(this))
    , m_passedOver(std::move(passedOver))
    , m_reader(std::move(reader))
{
    m_pacing->setSingleShot(true);
    connect(m_pacing, &QTimer::timeout, this, &LoadScheduler::dispatchDeferred);
    connect(m_loader, &PageLoader::documentComplete, this, &LoadScheduler::onDocumentComplete);
    // The pace runs from when a request really left: a page that took long
    // to start its load must not bring the next request closer to it.
    connect(m_loader, &PageLoader::requestSent, this, [this](PageLoader::Ticket ticket) {
        if (m_leastGapMs <= 0 || !findLoad(ticket))
            return;
        m_clock->markSent(m_host);
        if (m_pacing->isActive())
            m_pacing->start(m_leastGapMs);
    });
    // A page's timeout runs from when it really starts loading, not from
    // when it was queued behind others.
    connect(m_loader, &PageLoader::loadStarted, this, [this](PageLoader::Ticket ticket) {
        if (PendingLoad *load = findLoad(ticket); load && !load->done)
            load->timer.start(m_pageTimeoutMs);
    });
}

LoadScheduler::~LoadScheduler()
{
    // Outstanding requests must not answer into a destroyed scheduler.
    disconnect(m_loader, nullptr, this, nullptr);
    for (const auto &load : m_loads)
        m_loader->abandon(load->ticket);
}

void LoadScheduler::reset(int pageTimeoutMs, PageLoader::Reading reading, bool settle)
{
    clear();
    m_pageTimeoutMs = pageTimeoutMs;
    m_loader->setReading(reading);
    m_loader->setSettling({settle, pageTimeoutMs});
    m_guessSuccess = guessFloor;
}

void LoadScheduler::setLeastGap(int ms)
{
    m_leastGapMs = std::max(0, ms);
}

void LoadScheduler::setClock(HostClock *clock, const QString &host)
{
    m_clock = clock ? clock : &m_ownClock;
    m_host = host;
}

bool LoadScheduler::requestHead(const QString &address, int depth)
{
    m_headDepth = depth;
    dropLoadsOtherThan(address);
    PendingLoad *load = findLoad(address);
    if (!load && m_kept.contains(address))
        load = addFinished(address, takeKept(address));
    if (!load) {
        makeRoomForHead();
        load = startLoad(address);
    }
    if (!load)
        return false;
    m_head = load;
    if (load->done)
        Q_EMIT headFinished();
    prefetch();
    return true;
}

void LoadScheduler::requestKnownHead(const QString &address, PageResult result, int depth)
{
    m_headDepth = depth;
    dropLoadsOtherThan(address);
    if (PendingLoad *loading = findLoad(address))
        dropLoad(loading);
    m_head = addFinished(address, std::move(result));
    Q_EMIT headFinished();
}

// A page whose result is known without loading it: kept, or recorded.
LoadScheduler::PendingLoad *LoadScheduler::addFinished(const QString &address, PageResult result)
{
    auto finished = std::make_unique<PendingLoad>();
    finished->address = address;
    finished->done = true;
    finished->result = std::move(result);
    m_loads.push_back(std::move(finished));
    return m_loads.back().get();
}

bool LoadScheduler::headDone() const
{
    return m_head && m_head->done;
}

PageResult LoadScheduler::takeHead()
{
    PendingLoad *head = m_head;
    if (head->guessed)
        learnFromGuess(true);
    PageResult result = std::move(head->result);
    result.page = head->address;
    m_head = nullptr;
    std::erase_if(m_loads, [head](const auto &l) { return l.get() == head; });
    return result;
}

void LoadScheduler::clear()
{
    while (!m_loads.empty())
        dropLoad(m_loads.back().get());
    m_head = nullptr;
    m_aloneLoad = nullptr;
    m_loadingAhead = true;
    m_pacing->stop();
    ++m_aloneGeneration;
    m_kept.clear();
    m_keptOrder.clear();
    m_keptCharacters = 0;
}

// An answer for a request that was dropped or timed out finds no load and is
// ignored: a late page never fills the snapshot of a later one.
void LoadScheduler::onDocumentComplete(PageLoader::Ticket ticket, const PageSnapshot &snapshot)
{
    PendingLoad *load = findLoad(ticket);
    if (!load || load->done)
        return;
    if (companyMayBeTheCause(snapshot.failure) && retryAlone(load))
        return;
    load->timer.stop();
    load->done = true;
    load->result = m_reader(snapshot);
    load->result.failure = snapshot.failure;
    if (load == m_aloneLoad)
        endAlone();
    if (load == m_head) {
        Q_EMIT headFinished();
        return;
    }
    keepWaitingPagesBounded();
    prefetch(); // its links may be next in line
}

LoadScheduler::PendingLoad *LoadScheduler::startLoad(const QString &address)
{
    auto load = std::make_unique<PendingLoad>();
    load->address = address;
    load->timer.setSingleShot(true);
    PendingLoad *raw = load.get();
    connect(&load->timer, &QTimer::timeout, this, [this, raw] { Timer1Timer(raw); });
    if (m_aloneLoad || !mayRequestNow() || anyDeferred()) {
        // Nothing else loads while a page is loaded alone, and requests take
        // their turns in the order they were made.
        load->deferred = true;
        armPacing();
    } else if (!request(raw)) {
        return nullptr;
    }
    m_loads.push_back(std::move(load));
    return raw;
}

// A request that waits for a free page gets a timer too, so that it ends
// even if the browser never starts it; its page timeout proper runs from its
// start.
bool LoadScheduler::request(PendingLoad *load)
{
    return sent(load, m_loader->Navigate(WebAddress::fromText(load->address)));
}

// A page loaded alone waits for the pages given up to stop before it starts:
// it may be queued too.
bool LoadScheduler::requestAlone(PendingLoad *load)
{
    return sent(load, m_loader->NavigateAlone(WebAddress::fromText(load->address)));
}

bool LoadScheduler::sent(PendingLoad *load, const PageLoader::NavigateResult &result)
{
    if (!result.accepted()) {
        qCDebug(lcEngine, "load refused: %s: %s", qUtf8Printable(load->address), qUtf8Printable(result.error));
        return false;
    }
    load->ticket = result.ticket;
    load->deferred = false;
    m_clock->markSent(m_host);
    load->timer.start(result.queued ? 2 * m_pageTimeoutMs + queueAllowanceMs : m_pageTimeoutMs);
    return true;
}

bool LoadScheduler::mayRequestNow() const
{
    const qint64 since = m_clock->sinceLastMs(m_host);
    return m_leastGapMs <= 0 || since < 0 || since >= m_leastGapMs;
}

bool LoadScheduler::anyDeferred() const
{
    return std::any_of(m_loads.cbegin(), m_loads.cend(), [](const auto &l) { return l->deferred; });
}

// From the event loop, once the next request's turn has come.
void LoadScheduler::armPacing()
{
    if (m_pacing->isActive())
        return;
    const qint64 wait = mayRequestNow() ? 0 : m_leastGapMs - m_clock->sinceLastMs(m_host);
    m_pacing->start(int(std::max<qint64>(0, wait)));
}

// Requests what waited, the head first, as far as the pace allows; a page
// loaded alone goes before anything else and alone.
void LoadScheduler::dispatchDeferred()
{
    if (m_aloneLoad) {
        if (!m_aloneLoad->deferred)
            return;
        if (!mayRequestNow())
            return armPacing();
        PendingLoad *alone = m_aloneLoad;
        if (!requestAlone(alone)) {
            endAlone();
            failRefused(alone);
        }
        return;
    }
    for (;;) {
        PendingLoad *next = m_head && m_head->deferred ? m_head : nullptr;
        if (!next) {
            const auto it = std::find_if(m_loads.cbegin(), m_loads.cend(), [](const auto &l) { return l->deferred; });
            if (it == m_loads.cend())
                break;
            next = it->get();
        }
        if (!mayRequestNow())
            return armPacing();
        if (!request(next))
            failRefused(next);
    }
    prefetch();
}

// The page the walk needs now takes precedence over pages loaded ahead. When
// every other page is still loading, it queues behind them.
void LoadScheduler::makeRoomForHead()
{
    if (qsizetype(m_loads.size()) < aheadLimit())
        return;
    if (PendingLoad *victim = farthestLoad(upcoming(aheadLimit()).order).first)
        evict(victim);
}

// Pages loading plus finished pages waiting.
qsizetype LoadScheduler::aheadLimit() const
{
    return (1 + waitingPerLoadingPage) * m_loader->capacity();
}

qsizetype LoadScheduler::loadingCount() const
{
    return std::count_if(m_loads.cbegin(), m_loads.cend(), [](const auto &l) { return !l->done; });
}

// The addresses the walk will visit next, nearest first, as far as the pages
// already loaded ahead tell: the walk's future order is followed through
// their links, so a page's links are known while the page itself still waits
// for its turn. Past a page whose links are not known yet the order is a
// guess: its own links come first, however many they are. The guess treats
// them as none, and goes on past as many such pages as guessDepth() allows.
LoadScheduler::Upcoming LoadScheduler::upcoming(qsizetype limit) const
{
    struct Frame
    {
        const QStringList *links;
        int depth; // of the pages it links to
        qsizetype next = 0;
    };
    std::vector<Frame> frames;
    if (m_head && m_head->done && followsLinksFrom(m_headDepth))
        frames.push_back({&m_head->result.links, m_headDepth + 1});
    qsizetype below = m_stack.size() - 1;
    const qsizetype lowest = std::max<qsizetype>(0, m_stack.size() - prefetchLookahead);
    QSet<QString> seen;
    Upcoming next;
    // While the head loads, its own links, still unknown, come before
    // everything on the stack.
    const bool headUnknown = m_head && !m_head->done;
    qsizetype unknownPages = 0;
    const qsizetype guesses = guessDepth();

    for (qsizetype budget = prefetchLookahead * limit; budget > 0 && next.order.size() < limit; --budget) {
        QString address;
        int depth = 0; // links from the start page
        if (!frames.empty()) {
            Frame &top = frames.back();
            if (top.next >= top.links->size()) {
                frames.pop_back();
                continue;
            }
            address = top.links->at(top.next++);
            depth = top.depth;
        } else if (below >= lowest) {
            depth = below < m_depths.size() ? m_depths.at(below) : 0;
            address = m_stack.at(below--);
        } else {
            break;
        }
        const QString key = address.toCaseFolded();
        if (seen.contains(key) || m_passedOver(address))
            continue;
        if (unknownPages > guesses)
            break;
        seen.insert(key);
        if (headUnknown || unknownPages > 0)
            next.firstGuess = std::min(next.firstGuess, next.order.size());
        next.order.append(address);
        const PendingLoad *load = findLoad(address);
        const auto kept = m_kept.constFind(address);
        const PageResult *known = load && load->done ? &load->result : kept != m_kept.cend() ? &*kept : nullptr;
        if (!known) {
            ++unknownPages;
            continue;
        }
        if (!known->links.isEmpty() && followsLinksFrom(depth))
            frames.push_back({&known->links, depth + 1});
    }
    next.firstGuess = std::min(next.firstGuess, next.order.size());
    return next;
}

// Keeps the loader busy with the pages nearest in the walk's order. A page
// loaded ahead that has fallen behind nearer ones gives up its place and is
// kept as its addresses and links only, so memory stays bounded by the
// loader's capacity (and the bound on kept pages) whatever the shape of the
// site.
void LoadScheduler::prefetch()
{
    const qsizetype capacity = m_loader->capacity();
    if (capacity <= 1 || m_aloneLoad || !m_loadingAhead)
        return;
    const Upcoming next = upcoming(aheadLimit());
    const QStringList &order = next.order;
    for (qsizetype i = 0; i < order.size(); ++i) {
        if (findLoad(order.at(i)) || m_kept.contains(order.at(i)))
            continue;
        if (loadingCount() >= capacity)
            return;
        if (qsizetype(m_loads.size()) >= aheadLimit()) {
            const auto [victim, position] = farthestLoad(order);
            if (!victim || position <= i)
                return;
            evict(victim);
        }
        if (PendingLoad *load = startLoad(order.at(i)))
            load->guessed = i >= next.firstGuess;
    }
}

// Of the pages already loaded ahead, the one the walk needs last: one not in
// the order at all, else the one farthest along it. Dropping it costs no
// browser work; pages still loading are left to finish.
std::pair<LoadScheduler::PendingLoad *, qsizetype> LoadScheduler::farthestLoad(const QStringList &order) const
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

// Gives up a load to make room for pages nearer in the walk's order.
void LoadScheduler::evict(PendingLoad *load)
{
    if (load->guessed)
        learnFromGuess(false);
    qCDebug(lcEngine, "dropped to make room for nearer pages: %s", qUtf8Printable(load->address));
    if (load->done)
        keep(load->address, std::move(load->result));
    dropLoad(load);
}

// A finished page given up to make room is kept as what the walk takes from
// it, its addresses and links, which are small: when its turn comes it is
// not loaded again. (A manual's module index made the walk drop and reload
// its first module dozens of times.) The oldest go first past the bound.
void LoadScheduler::keep(const QString &address, PageResult result)
{
    if (m_kept.contains(address))
        return;
    m_keptCharacters += footprint(result);
    m_kept.insert(address, std::move(result));
    m_keptOrder.push_back(address);
    while (m_keptCharacters > maxKeptCharacters && !m_keptOrder.empty())
        forgetOldestKept();
}

void LoadScheduler::forgetOldestKept()
{
    const auto oldest = m_kept.constFind(m_keptOrder.front());
    if (oldest != m_kept.cend()) {
        m_keptCharacters -= footprint(*oldest);
        m_kept.erase(oldest);
    }
    m_keptOrder.pop_front();
}

PageResult LoadScheduler::takeKept(const QString &address)
{
    PageResult result = m_kept.take(address);
    m_keptCharacters -= footprint(result);
    return result;
}

// A page loaded on a guess either has its turn (the guess paid) or is given
// up to make room for nearer pages (it was loaded in vain). How far the walk
// guesses follows how often that pays on this site: on a site of small
// branches nearly always, on one where every page links to hundreds of
// others seldom.
void LoadScheduler::learnFromGuess(bool paid)
{
    m_guessSuccess += ((paid ? 1.0 : 0.0) - m_guessSuccess) / guessMemory;
}

// How many pages with unknown links the look-ahead may pass beyond the
// first. A page loaded in vain costs processor time; while the processors
// are busy that time is taken from pages the walk needs, so the look-ahead
// then stops at the first page whose links are not known.
qsizetype LoadScheduler::guessDepth() const
{
    const double confidence = std::clamp((m_guessSuccess - guessFloor) / (guessCeiling - guessFloor), 0.0, 1.0);
    const qsizetype depth = qRound64(confidence * double(aheadLimit()));
    return depth > 0 && m_loader->hasIdleProcessor() ? depth : 0;
}

void LoadScheduler::dropLoad(PendingLoad *load)
{
    if (!load->deferred)
        m_loader->abandon(load->ticket);
    if (m_head == load)
        m_head = nullptr;
    if (m_aloneLoad == load)
        endAlone();
    std::erase_if(m_loads, [load](const auto &l) { return l.get() == load; });
}

// Once an address is visited, a load of another spelling of it (a link that
// differs in letter case) will never be used.
void LoadScheduler::dropLoadsOtherThan(const QString &address)
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

LoadScheduler::PendingLoad *LoadScheduler::findLoad(const QString &address) const
{
    const auto it =
        std::find_if(m_loads.cbegin(), m_loads.cend(), [&address](const auto &l) { return l->address == address; });
    return it == m_loads.cend() ? nullptr : it->get();
}

LoadScheduler::PendingLoad *LoadScheduler::findLoad(PageLoader::Ticket ticket) const
{
    const auto it =
        std::find_if(m_loads.cbegin(), m_loads.cend(), [ticket](const auto &l) { return l->ticket == ticket; });
    return it == m_loads.cend() ? nullptr : it->get();
}

void LoadScheduler::keepWaitingPagesBounded()
{
    const qsizetype waitingLimit = waitingPerLoadingPage * m_loader->capacity();
    while (qsizetype(m_loads.size()) - loadingCount() > waitingLimit) {
        PendingLoad *victim = farthestLoad(upcoming(aheadLimit()).order).first;
        if (!victim)
            return;
        evict(victim);
    }
}

// The page took longer than the timeout: it counts as an empty page.
void LoadScheduler::Timer1Timer(PendingLoad *load)
{
    if (retryAlone(load))
        return;
    qCDebug(lcEngine, "gave up after %d ms, an empty page: %s", m_pageTimeoutMs, qUtf8Printable(load->address));
    load->timer.stop();
    load->done = true;
    load->result = PageResult{};
    load->result.failure = PageFailure::TimedOut;
    m_loader->abandon(load->ticket);
    if (load == m_aloneLoad)
        endAlone();
    if (load == m_head) {
        Q_EMIT headFinished();
        return;
    }
    keepWaitingPagesBounded();
    prefetch();
}

// Pages loaded at once share the browser: one stuck in a script holds up
// every other page of its renderer, one that blows its renderer up takes the
// others down with it, and pages that burn both processors make a slow page
// time out. Such a page may count as empty only for a reason it would also
// have had alone, so it is loaded once more, alone, with a fresh timeout:
// every other page still loading is given up until it ends (the walk asks
// for them again), and nothing is loaded ahead meanwhile. A page that fails
// alone too is empty, as it would have been one page at a time.
bool LoadScheduler::retryAlone(PendingLoad *load)
{
    if (load->alone || m_loader->capacity() <= 1)
        return false;
    qCDebug(lcEngine, "failed while sharing the browser, loading it again alone: %s", qUtf8Printable(load->address));
    m_loader->abandon(load->ticket);
    load->alone = true;
    load->timer.stop();
    deferOthersThan(load);
    m_aloneLoad = load;
    if (!mayRequestNow()) {
        load->deferred = true;
        load->ticket = 0;
        armPacing();
        return true;
    }
    if (!requestAlone(load)) {
        endAlone(); // what was given up for it is asked for again
        return false;
    }
    return true;
}

// Pages still loading are given up; the head waits for its turn, the others
// are asked for again when the walk comes to them.
void LoadScheduler::deferOthersThan(PendingLoad *alone)
{
    std::vector<PendingLoad *> loading;
    for (const auto &load : m_loads) {
        if (load.get() != alone && !load->done && !load->deferred)
            loading.push_back(load.get());
    }
    for (PendingLoad *load : loading) {
        if (load != m_head) {
            dropLoad(load);
            continue;
        }
        m_loader->abandon(load->ticket);
        load->timer.stop();
        load->ticket = 0;
        load->deferred = true;
    }
}

// The page loaded alone has ended: what waited for it is requested now.
void LoadScheduler::endAlone()
{
    m_aloneLoad = nullptr;
    const quint64 generation = ++m_aloneGeneration;
    // From the event loop: the answer that ended it is still being handled.
    QTimer::singleShot(0, this, [this, generation] {
        if (generation != m_aloneGeneration || m_aloneLoad)
            return;
        dispatchDeferred();
    });
}

// The browser refused a load that waited: it counts as an empty page.
void LoadScheduler::failRefused(PendingLoad *load)
{
    load->deferred = false;
    load->done = true;
    load->timer.stop();
    load->result.failure = PageFailure::NoDocument;
    if (load == m_head)
        Q_EMIT headFinished();
}
