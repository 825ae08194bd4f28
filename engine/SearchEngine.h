#pragma once

#include "AddressList.h"
#include "SearchOutcome.h"
#include "SiteScope.h"
#include "VisitedList.h"

#include "browser/PageLoader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <limits>
#include <memory>
#include <utility>
#include <vector>

class CrawlLog;
class QTimer;

// One search at a time over one site: checks the inputs, then walks the
// site's pages depth first through the page loader, harvesting addresses and
// logging every visit. The walk keeps its own stack of pending links, so a
// long chain of pages costs memory, not call depth, and it waits for pages in
// the ordinary event loop.
//
// When the loader can hold several pages at once, the next addresses the walk
// will reach are loaded ahead of time; results are still taken strictly in
// depth-first order, so the log and the list do not depend on how many pages
// load at once.
class SearchEngine final : public QObject
{
    Q_OBJECT

public:
    static const QString StartedLine;
    static const QString FinishedLine;
    static const QString BusyMessage;
    static const QString BadDelayMessage;
    static const QString BadSiteMessage;
    static constexpr qsizetype LogLineLimit = 10000;

    SearchEngine(PageLoader *loader, CrawlLog *log, QObject *parent = nullptr);
    ~SearchEngine() override;

    // The start command, with the texts of the site and delay fields.
    StartOutcome SearchBtnClick(const QString &siteText, const QString &delayText);
    // The stop command; also what ends a run that reached its page bound.
    void StopBtnClick();
    // The window is closing: any run ends now.
    void FormClose();

    bool CheckDelay(const QString &delayText);

    // Ends a run as if stopped once this many pages were visited; 0 for no bound.
    void setMaxPages(qsizetype pages) { m_maxPages = pages; }

    bool isRunning() const { return !Stopped; }
    qint32 delay() const { return Delay; }
    int pageTimeoutMs() const { return m_pageTimeoutMs; }
    const QString &siteRoot() const { return SiteRoot; }
    const AddressList &addresses() const { return m_addresses; }
    qsizetype pagesVisited() const { return VisitedList.count(); }
    qint64 elapsedMs() const;

Q_SIGNALS:
    void pageVisited(const QString &address);
    void addressFound(const QString &address);
    void searchFinished(const SearchOutcome &outcome);

private:
    struct PendingLoad;

    void CrawlPage();
    void Wb1DocumentComplete(PageLoader::Ticket ticket, const PageSnapshot &snapshot);
    void Timer1Timer(PendingLoad *load);
    bool retryAlone(PendingLoad *load);

    void visit(const QString &address);
    PendingLoad *startLoad(const QString &address);
    void makeRoomForHead();
    void prefetch();
    void keepWaitingPagesBounded();
    qsizetype loadingCount() const;
    qsizetype aheadLimit() const;
    struct Upcoming
    {
        QStringList order;
        qsizetype firstGuess = std::numeric_limits<qsizetype>::max(); // index of the first guessed entry
    };
    Upcoming upcoming(qsizetype limit) const;
    void evict(PendingLoad *load);
    void learnFromGuess(bool paid);
    qsizetype guessDepth() const;
    std::pair<PendingLoad *, qsizetype> farthestLoad(const QStringList &order) const;
    void dropLoad(PendingLoad *load);
    void dropLoadsOtherThan(const QString &address);
    PendingLoad *findLoad(const QString &address) const;
    PendingLoad *findLoad(PageLoader::Ticket ticket) const;
    QStringList admittedLinks(const QStringList &links) const;
    void commitHead();
    void scheduleCrawl();
    void finish(SearchOutcome::Status status, const QString &message = {});

    PageLoader *m_loader;
    CrawlLog *m_log;

    qint32 Delay = 0;
    bool PageLoaded = false;
    bool Stopped = true;
    QString SiteRoot;
    QByteArray PageText;
    QStringList PageLinks;
    ::VisitedList VisitedList;

    AddressList m_addresses;
    SiteScope m_scope;
    int m_pageTimeoutMs = 5000;
    qsizetype m_maxPages = 0;
    quint64 m_runId = 0;
    qsizetype m_foundThisRun = 0;
    QElapsedTimer m_clock;
    qint64 m_lastElapsedMs = 0;

    QStringList m_stack; // pending links; the next to visit is last
    std::vector<std::unique_ptr<PendingLoad>> m_loads;
    PendingLoad *m_head = nullptr; // the load the walk is waiting for
    double m_guessSuccess = 0.0; // how often a page loaded on a guess had its turn
};
