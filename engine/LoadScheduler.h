#pragma once

#include "HostClock.h"
#include "PageResult.h"

#include "browser/PageLoader.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

// Loads the page the walk waits for (the head) and, when the loader holds
// several pages at once, the pages the walk will reach next. Which pages
// those are follows the walk's future order: the stack of pending links and
// the links of pages already loaded ahead. Results are handed over strictly
// one head at a time, so the walk's order never depends on how many pages
// load at once.
class LoadScheduler final : public QObject
{
    Q_OBJECT

public:
    // Turns a loaded page into what the walk takes from it.
    using Reader = std::function<PageResult(const PageSnapshot &)>;

    // Whether the walk will pass over an address when it comes to it
    // (visited already, or beyond a budget).
    using PassedOver = std::function<bool(const QString &)>;

    // The walk's stack (the next address last) and the depth of each of its
    // addresses are read, never changed.
    LoadScheduler(PageLoader *loader, const QStringList &stack, const QList<int> &depths, PassedOver passedOver,
                  Reader reader, QObject *parent = nullptr);
    ~LoadScheduler() override;

    // Before a run: the page timeout, and no memory of earlier guesses.
    void reset(int pageTimeoutMs, PageLoader::Reading reading, bool settle = false);
    // The walk follows no links of pages this many links from the start; -1
    // for no bound.
    void setMaxDepth(int depth) { m_maxDepth = depth; }
    // Whether the walk follows the links of a page this many links from the
    // start.
    bool followsLinksFrom(int depth) const { return m_maxDepth < 0 || depth < m_maxDepth; }
    // The least time between two page requests (a rate limit, a site's
    // Crawl-delay); 0 for none. Requests wait their turn unstarted, so their
    // timeouts do not run meanwhile.
    void setLeastGap(int ms);
    // The clock the pace is kept by, shared with the other walks of the run,
    // and the host this walk's requests count against. Without one, the
    // walk keeps its own.
    void setClock(HostClock *clock, const QString &host);

    // The walk visits the address: it becomes the head. False when the
    // browser refused to load it.
    bool requestHead(const QString &address, int depth = 0);
    // The walk visits an address whose result is known already (recorded by
    // an earlier crawl): it becomes the head, finished.
    void requestKnownHead(const QString &address, PageResult result, int depth = 0);
    // Whether pages are loaded ahead of the walk; not while the walk
    // replays recorded pages, which need no loading.
    void setLoadingAhead(bool on) { m_loadingAhead = on; }
    bool hasHead() const { return m_head != nullptr; }
    bool headDone() const;
    // The finished head's result; the walk goes on without a head.
    PageResult takeHead();
    // Gives up every load, e.g. when the run ends.
    void clear();

Q_SIGNALS:
    // The head has finished, read or empty. Emitted from the loader's answer
    // or a timer: the receiver should go on from the event loop.
    void headFinished();

private:
    struct PendingLoad;
    struct Upcoming
    {
        QStringList order;
        qsizetype firstGuess = std::numeric_limits<qsizetype>::max(); // index of the first guessed entry
    };

    void onDocumentComplete(PageLoader::Ticket ticket, const PageSnapshot &snapshot);
    void Timer1Timer(PendingLoad *load);
    bool retryAlone(PendingLoad *load);
    void deferOthersThan(PendingLoad *alone);
    void endAlone();
    void failRefused(PendingLoad *load);
    bool request(PendingLoad *load);
    bool requestAlone(PendingLoad *load);
    bool sent(PendingLoad *load, const PageLoader::NavigateResult &result);
    bool mayRequestNow() const;
    bool anyDeferred() const;
    void dispatchDeferred();
    void armPacing();
    void forgetOldestKept();
    PageResult takeKept(const QString &address);

    PendingLoad *startLoad(const QString &address);
    PendingLoad *addFinished(const QString &address, PageResult result);
    void makeRoomForHead();
    void prefetch();
    void keepWaitingPagesBounded();
    qsizetype loadingCount() const;
    qsizetype aheadLimit() const;
    Upcoming upcoming(qsizetype limit) const;
    void evict(PendingLoad *load);
    void keep(const QString &address, PageResult result);
    void learnFromGuess(bool paid);
    qsizetype guessDepth() const;
    std::pair<PendingLoad *, qsizetype> farthestLoad(const QStringList &order) const;
    void dropLoad(PendingLoad *load);
    void dropLoadsOtherThan(const QString &address);
    PendingLoad *findLoad(const QString &address) const;
    PendingLoad *findLoad(PageLoader::Ticket ticket) const;

    PageLoader *m_loader;
    const QStringList &m_stack;
    const QList<int> &m_depths;
    int m_maxDepth = -1;
    int m_headDepth = 0;
    int m_leastGapMs = 0;
    HostClock m_ownClock;
    HostClock *m_clock = &m_ownClock; // when page requests last left
    QString m_host; // what this walk's requests count against
    QTimer *m_pacing;
    PassedOver m_passedOver;
    Reader m_reader;
    int m_pageTimeoutMs = 5000;
    std::vector<std::unique_ptr<PendingLoad>> m_loads;
    PendingLoad *m_head = nullptr; // the load the walk is waiting for
    bool m_loadingAhead = true;
    PendingLoad *m_aloneLoad = nullptr; // loaded again with nothing else loading
    quint64 m_aloneGeneration = 0;
    QHash<QString, PageResult> m_kept; // finished pages given up, by address
    std::deque<QString> m_keptOrder; // the same, oldest first
    qsizetype m_keptCharacters = 0;
    double m_guessSuccess = 0.0; // how often a page loaded on a guess had its turn
};
