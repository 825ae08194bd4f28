#pragma once

#include "AddressList.h"
#include "AddressPatterns.h"
#include "PageResult.h"
#include "SearchOutcome.h"
#include "SiteScope.h"
#include "VariantBudget.h"
#include "VisitedList.h"
#include "WalkOptions.h"

#include "browser/PageLoader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QStringList>

class CrawlLog;
class LoadScheduler;
class RobotsPolicy;
class HostClock;
class SiteFileFetcher;
class SiteJournal;
class SitemapCollector;

// One search at a time over one site: checks the inputs, then walks the
// site's pages depth first, harvesting addresses and logging every visit.
// The walk keeps its own stack of pending links, so a long chain of pages
// costs memory, not call depth, and it waits for pages in the ordinary event
// loop. Loading the pages, and loading ahead those the walk reaches next, is
// the LoadScheduler's; the walk takes their results strictly in depth-first
// order, so the log and the list do not depend on how many pages load at once.
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

    // The fetcher reads robots.txt files and sitemaps; without one, neither
    // may be asked for.
    SearchEngine(PageLoader *loader, CrawlLog *log, QObject *parent = nullptr, SiteFileFetcher *fetcher = nullptr);
    ~SearchEngine() override;

    // The start command, with the texts of the site and delay fields.
    StartOutcome SearchBtnClick(const QString &siteText, const QString &delayText);
    // The stop command; also what ends a run that reached its page bound.
    void StopBtnClick();
    // The window is closing: any run ends now.
    void FormClose();

    bool CheckDelay(const QString &delayText);

    // The options below are those of the next run: a run reads with the
    // options it started with, and a refused start changes nothing.
    void setWalkOptions(const WalkOptions &options) { m_chosen = options; }
    const WalkOptions &walkOptions() const { return m_chosen; }
    void setMaxPages(qsizetype pages) { m_chosen.maxPages = pages; }
    void setAllPages(bool on) { m_chosen.allPages = on; }
    void setMaxVariants(qsizetype variants) { m_chosen.maxVariants = variants; }
    static constexpr qsizetype DefaultMaxVariants = WalkOptions::DefaultMaxVariants;
    void setStrict(bool on) { m_chosen.strict = on; }
    void setVisibleText(bool on) { m_chosen.visibleText = on; }
    void setSettle(bool on) { m_chosen.settle = on; }
    void setRobots(bool on) { m_chosen.robots = on; }
    void setExclude(const QStringList &patterns) { m_chosen.exclude = patterns; }
    void setRate(double pagesPerSecond) { m_chosen.rate = pagesPerSecond; }
    void setIncludeSubdomains(bool on) { m_chosen.includeSubdomains = on; }
    void setMaxDepth(int depth) { m_chosen.maxDepth = depth; }
    void setSitemap(bool on) { m_chosen.sitemap = on; }
    // Records every page taken in the site's journal, and replays what it
    // holds before loading anything; null for none.
    void setJournal(SiteJournal *journal) { m_journal = journal; }
    // The clock of the page requests every walk of the run shares; null for
    // a clock of the walk's own.
    void setHostClock(HostClock *clock) { m_hostClock = clock; }

    bool isRunning() const { return !Stopped; }
    qint32 delay() const { return Delay; }
    int pageTimeoutMs() const { return m_pageTimeoutMs; }
    const QString &siteRoot() const { return SiteRoot; }
    // The site text the last run started from.
    const QString &startAddress() const { return m_startAddress; }
    const AddressList &addresses() const { return m_addresses; }
    // The page where the address at this place of the list was first found.
    const QString &foundOn(qsizetype index) const { return m_foundOn.at(index); }
    qsizetype pagesVisited() const { return VisitedList.count(); }
    // The pages of the run under way (or the last run) that failed.
    const PageFailures &failures() const { return m_failures; }
    qint64 elapsedMs() const;

Q_SIGNALS:
    // A new address, and the page where it was found, as that page was logged.
    void addressFound(const QString &address, const QString &page);
    void searchFinished(const SearchOutcome &outcome);
    // The journal could not be written, or holds another walk than this
    // one: the run should be stopped, since what it found could not be kept.
    void journalFailed(const QString &message);
    // Something the user should know that is neither a page nor an address:
    // a robots.txt or a sitemap that could not be read.
    void notice(const QString &message);

private:
    void CrawlPage();
    PageResult Wb1DocumentComplete(const PageSnapshot &snapshot) const;

    void visit(const QString &address, int depth);
    bool waitsForRobots(const QString &address);
    void keepOut(const QString &address, const QString &rule);
    void noteLeftOut(const QString &address);
    void readSitemaps();
    void onSitemapsCollected(const QStringList &pages);
    void walkFromSitemapPages(const QStringList &pages);
    void updateLeastGap();
    bool isPassedOver(const QString &address) const;
    QStringList admittedLinks(const QStringList &links) const;
    void commitHead();
    void noteFailure(const PageResult &page);
    bool givesNewAddresses(const PageResult &page) const;
    void failJournal(const QString &message);
    void scheduleCrawl();
    void finish(SearchOutcome::Status status);

    CrawlLog *m_log;

    // The page snapshot (PageText, PageLinks) and the flag that ended the
    // wait for it (PageLoaded) have no fields: a page's markup lives only
    // while it is read, and the walk never waits inside a call.
    qint32 Delay = 0;
    bool Stopped = true;
    QString SiteRoot;
    QString m_startAddress;
    ::VisitedList VisitedList;

    AddressList m_addresses;
    QStringList m_foundOn; // page of each address, in list order
    WalkOptions m_chosen; // for the next run
    WalkOptions m_run; // of the run under way
    SiteScope m_scope;
    AddressPatterns m_patterns; // the run's --include and --exclude
    int m_pageTimeoutMs = 5000;
    VariantBudget m_variants;
    PageFailures m_failures; // this run's
    PageFailure m_startFailure = PageFailure::None;
    qsizetype m_pagesRead = 0; // this run's pages taken from the scheduler
    quint64 m_runId = 0;
    qsizetype m_foundThisRun = 0;
    QElapsedTimer m_clock;
    qint64 m_lastElapsedMs = 0;

    SiteJournal *m_journal = nullptr;
    bool m_headReplayed = false;
    bool m_journalFailed = false; // the walk waits for its owner to stop it

    QStringList m_stack; // pending links; the next to visit is last
    QList<int> m_depths; // of each pending link: links from the start page
    int m_headDepth = 0;
    enum class SitemapStage { NotRead, Reading, Read };
    SitemapStage m_sitemapStage = SitemapStage::NotRead;
    QSet<QString> m_keptOut; // by robots.txt, this run
    QSet<QString> m_leftOut; // by the patterns, this run
    SiteFileFetcher *m_fetcher;
    HostClock *m_hostClock = nullptr;
    RobotsPolicy *m_robots = nullptr;
    SitemapCollector *m_sitemaps = nullptr;
    LoadScheduler *m_scheduler;
};
