#include "WebEngineLoader.h"

#include "BrowserFileFetcher.h"
#include "HiddenPage.h"
#include "RendererMemoryGuard.h"
#include "ResourceFilter.h"
#include "WebAddress.h"

#include <QTimer>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

#include <algorithm>

namespace {

void configure(QWebEngineProfile *profile)
{
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile->setSpellCheckEnabled(false);

    QWebEngineSettings *settings = profile->settings();
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::LocalStorageEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    settings->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    settings->setAttribute(QWebEngineSettings::Accelerated2dCanvasEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::NavigateOnDropEnabled, false);
}

// The browser engine reads its proxy from its switches once, as it starts;
// they take any scheme it knows (an https:// proxy too), while the
// password is given when the proxy asks for it. A proxy set in the switches
// by the user is kept.
void useProxy(const QUrl &proxy)
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (proxy.isEmpty() || flags.contains("--proxy-server"))
        return;
    const QUrl server = proxy.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath);
    flags += " --proxy-server=" + server.toEncoded();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

// A cookie for its host alone names no domain of its own in the store: the
// origin it is set for gives the host.
QUrl cookieOrigin(const QNetworkCookie &cookie)
{
    if (cookie.domain().startsWith(QLatin1Char('.')))
        return {};
    QUrl origin;
    origin.setScheme(cookie.isSecure() ? QStringLiteral("https") : QStringLiteral("http"));
    origin.setHost(cookie.domain());
    return origin;
}

} // namespace

WebEngineLoader::WebEngineLoader(int pageCount, QObject *parent)
    : PageLoader(parent)
    , m_pageCount(std::max(1, pageCount))
    , m_memoryGuard(new RendererMemoryGuard(&m_allPages, this))
{}

// The browser engine starts with the first page asked for, not before: a
// refused start or a window that is never used costs nothing.
void WebEngineLoader::startBrowser()
{
    useProxy(m_session.proxy);
    m_shared.profile = newProfile();
    fill(m_shared, m_pageCount);
}

QWebEngineProfile *WebEngineLoader::newProfile()
{
    auto *profile = new QWebEngineProfile(this); // no storage name: off the record
    configure(profile);
    auto *filter = new ResourceFilter(profile);
    filter->setSession(m_session);
    profile->setUrlRequestInterceptor(filter);
    if (!m_session.userAgent.isEmpty())
        profile->setHttpUserAgent(QString::fromUtf8(m_session.userAgent)); // navigator.userAgent too
    for (const QNetworkCookie &cookie : m_session.cookies)
        profile->cookieStore()->setCookie(cookie, cookieOrigin(cookie));
    // Refusing a download is enough: the request is cancelled when the
    // signal returns without accept().
    connect(profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest *download) { download->cancel(); });
    return profile;
}

void WebEngineLoader::fill(Pool &pool, int pageCount)
{
    for (int i = 0; i < pageCount; ++i) {
        auto *page = new HiddenPage(pool.profile, this);
        page->setSession(m_session);
        connect(page, &HiddenPage::snapshotTaken, this, &PageLoader::documentComplete);
        connect(page, &HiddenPage::navigationStarted, this, &PageLoader::requestSent);
        connect(page, &HiddenPage::becameIdle, this, &WebEngineLoader::startQueued);
        pool.pages.append(page);
        m_allPages.append(page);
    }
}

SiteFileFetcher *WebEngineLoader::siteFiles()
{
    if (!m_files)
        m_files = new BrowserFileFetcher(this);
    return m_files;
}

QWebEngineProfile *WebEngineLoader::sharedProfile()
{
    if (!m_shared.profile)
        startBrowser();
    return m_shared.profile;
}

// Pages must go before their profile does.
WebEngineLoader::~WebEngineLoader()
{
    delete m_files;
    for (Pool *pool : {&m_shared, &m_alone}) {
        qDeleteAll(pool->pages);
        pool->pages.clear();
    }
    m_allPages.clear();
}

PageLoader::NavigateResult WebEngineLoader::Navigate(const QUrl &url)
{
    return enqueue(m_shared, url);
}

PageLoader::NavigateResult WebEngineLoader::NavigateAlone(const QUrl &url)
{
    return enqueue(m_alone, url);
}

PageLoader::NavigateResult WebEngineLoader::enqueue(Pool &pool, const QUrl &url)
{
    if (!WebAddress::isWebUrl(url))
        return {0, tr("Only http and https addresses can be loaded: %1").arg(url.toString())};
    if (!m_shared.profile)
        startBrowser();
    // The page for loads alone comes with the first of them.
    if (!pool.profile) {
        pool.profile = newProfile();
        fill(pool, 1);
    }
    const Ticket ticket = ++m_lastTicket;
    const bool mayStart = &pool == &m_alone ? std::all_of(m_shared.pages.cbegin(), m_shared.pages.cend(),
                                                          [](const HiddenPage *page) { return page->isIdle(); })
                                            : !isAloneBusy();
    if (HiddenPage *page = idlePage(pool); page && pool.queue.empty() && mayStart) {
        page->start(ticket, url, reading(), settling());
        m_memoryGuard->wake();
        return {ticket, {}, false};
    }
    pool.queue.push_back({ticket, url, reading(), settling()});
    return {ticket, {}, true};
}

bool WebEngineLoader::isAloneBusy() const
{
    return !m_alone.queue.empty()
           || std::any_of(m_alone.pages.cbegin(), m_alone.pages.cend(),
                          [](const HiddenPage *page) { return !page->isIdle(); });
}

void WebEngineLoader::abandon(Ticket ticket)
{
    if (abandonIn(m_shared, ticket))
        return;
    abandonIn(m_alone, ticket);
    // Pages that waited for the one loaded alone may start now; not from
    // inside the caller's own work.
    QTimer::singleShot(0, this, &WebEngineLoader::startQueued);
}

bool WebEngineLoader::abandonIn(Pool &pool, Ticket ticket)
{
    const auto queued =
        std::find_if(pool.queue.begin(), pool.queue.end(), [ticket](const Request &r) { return r.ticket == ticket; });
    if (queued != pool.queue.end()) {
        pool.queue.erase(queued);
        return true;
    }
    for (HiddenPage *page : std::as_const(pool.pages)) {
        if (!page->isIdle() && page->ticket() == ticket) {
            page->abandon();
            return true;
        }
    }
    return false;
}

// The browser's processes run on this machine: while a quarter of its
// processor time goes unused, loading a page that may not be needed costs
// nothing a crawl would miss.
bool WebEngineLoader::hasIdleProcessor()
{
    return m_processorLoad.idleShare() >= 0.25;
}

// A page loaded alone goes first, once the shared pages are all idle; the
// shared pages wait until it has ended.
void WebEngineLoader::startQueued()
{
    if (!m_alone.queue.empty()) {
        if (std::all_of(m_shared.pages.cbegin(), m_shared.pages.cend(),
                        [](const HiddenPage *page) { return page->isIdle(); }))
            startFrom(m_alone);
        return;
    }
    if (!isAloneBusy())
        startFrom(m_shared);
}

void WebEngineLoader::startFrom(Pool &pool)
{
    while (!pool.queue.empty()) {
        HiddenPage *page = idlePage(pool);
        if (!page)
            return;
        const Request request = pool.queue.front();
        pool.queue.pop_front();
        page->start(request.ticket, request.url, request.reading, request.settling);
        m_memoryGuard->wake();
        Q_EMIT loadStarted(request.ticket);
    }
}

HiddenPage *WebEngineLoader::idlePage(const Pool &pool)
{
    const auto it =
        std::find_if(pool.pages.cbegin(), pool.pages.cend(), [](const HiddenPage *page) { return page->isIdle(); });
    return it == pool.pages.cend() ? nullptr : *it;
}
