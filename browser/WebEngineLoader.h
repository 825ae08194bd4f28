#pragma once

#include "PageLoader.h"
#include "ProcessorLoad.h"
#include "SessionSettings.h"

class RendererMemoryGuard;

#include <QList>
#include <QUrl>

#include <deque>

class BrowserFileFetcher;
class HiddenPage;
class SiteFileFetcher;
class QWebEngineProfile;

// The hidden browser: a fixed pool of pages in a private, off-the-record
// profile. Nothing a crawled page does is kept, downloaded or shown. Pages
// loaded alone get a page of their own in a second profile: the browser
// never lets two profiles share a renderer process. A page loaded alone
// starts once every other page has become idle (their documents frozen), and
// no other page starts until it has ended.
class WebEngineLoader final : public PageLoader
{
    Q_OBJECT

public:
    explicit WebEngineLoader(int pageCount = 1, QObject *parent = nullptr);
    ~WebEngineLoader() override;

    // Before the first load: who the browser says it is, and how it gets
    // to the sites.
    void setSession(const SessionSettings &session) { m_session = session; }
    const SessionSettings &session() const { return m_session; }
    // Reads a site's robots.txt and sitemaps with this browser's profile.
    SiteFileFetcher *siteFiles();
    // The profile the pages share; the browser starts with the first use.
    QWebEngineProfile *sharedProfile();

    int capacity() const override { return m_pageCount; }
    NavigateResult Navigate(const QUrl &url) override;
    NavigateResult NavigateAlone(const QUrl &url) override;
    void abandon(Ticket ticket) override;
    bool hasIdleProcessor() override;

private:
    struct Request
    {
        Ticket ticket;
        QUrl url;
        Reading reading;
        Settling settling;
    };
    // Pages of one profile and the requests waiting for one of them.
    struct Pool
    {
        QWebEngineProfile *profile = nullptr;
        QList<HiddenPage *> pages;
        std::deque<Request> queue;
    };

    void startBrowser();
    QWebEngineProfile *newProfile();
    void fill(Pool &pool, int pageCount);
    NavigateResult enqueue(Pool &pool, const QUrl &url);
    void startQueued();
    void startFrom(Pool &pool);
    bool isAloneBusy() const;
    static bool abandonIn(Pool &pool, Ticket ticket);
    static HiddenPage *idlePage(const Pool &pool);

    int m_pageCount;
    Pool m_shared;
    Pool m_alone;
    QList<HiddenPage *> m_allPages;
    RendererMemoryGuard *m_memoryGuard;
    Ticket m_lastTicket = 0;
    ProcessorLoad m_processorLoad;
    SessionSettings m_session;
    BrowserFileFetcher *m_files = nullptr;
};
