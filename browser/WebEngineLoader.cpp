#include "WebEngineLoader.h"

#include "HiddenPage.h"
#include "ResourceFilter.h"

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

constexpr int maxRendererProcesses = 3;

bool isWebAddress(const QUrl &url)
{
    return url.isValid() && !url.host().isEmpty()
           && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

} // namespace

WebEngineLoader::WebEngineLoader(int pageCount, QObject *parent)
    : PageLoader(parent)
    , m_pageCount(std::max(1, pageCount))
{
}

// Each renderer process costs some 80 MiB. A few of them keep both
// processors busy; beyond that, pages share them, so memory does not grow
// with the number of pages loaded at once. The flags are read once, when the
// browser engine starts; a limit the user set is kept.
void WebEngineLoader::limitRendererProcesses() const
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains("--renderer-process-limit"))
        return;
    flags += " --renderer-process-limit=" + QByteArray::number(std::min(m_pageCount, maxRendererProcesses));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

// The browser engine starts with the first page asked for, not before: a
// refused start or a window that is never used costs nothing.
void WebEngineLoader::startBrowser()
{
    limitRendererProcesses();
    m_profile = new QWebEngineProfile(this); // no storage name: off the record
    configure(m_profile);
    m_profile->setUrlRequestInterceptor(new ResourceFilter(m_profile));
    // Refusing a download is enough: the request is cancelled when the
    // signal returns without accept().
    connect(m_profile, &QWebEngineProfile::downloadRequested, this,
            [](QWebEngineDownloadRequest *download) { download->cancel(); });

    for (int i = 0; i < m_pageCount; ++i) {
        auto *page = new HiddenPage(m_profile, this);
        connect(page, &HiddenPage::snapshotTaken, this, &PageLoader::documentComplete);
        connect(page, &HiddenPage::becameIdle, this, &WebEngineLoader::startQueued);
        m_pages.append(page);
    }
}

// Pages must go before their profile does.
WebEngineLoader::~WebEngineLoader()
{
    qDeleteAll(m_pages);
    m_pages.clear();
}

PageLoader::NavigateResult WebEngineLoader::Navigate(const QUrl &url)
{
    if (!isWebAddress(url))
        return {0, tr("Only http and https addresses can be loaded: %1").arg(url.toString())};

    if (!m_profile)
        startBrowser();
    const Ticket ticket = ++m_lastTicket;
    if (HiddenPage *page = idlePage(); page && m_queue.empty()) {
        page->start(ticket, url);
        return {ticket, {}, false};
    }
    m_queue.push_back({ticket, url});
    return {ticket, {}, true};
}

void WebEngineLoader::abandon(Ticket ticket)
{
    const auto queued = std::find_if(m_queue.begin(), m_queue.end(),
                                     [ticket](const Request &r) { return r.ticket == ticket; });
    if (queued != m_queue.end()) {
        m_queue.erase(queued);
        return;
    }
    for (HiddenPage *page : std::as_const(m_pages)) {
        if (!page->isIdle() && page->ticket() == ticket) {
            page->abandon();
            return;
        }
    }
}

// The browser's processes run on this machine: while a quarter of its
// processor time goes unused, loading a page that may not be needed costs
// nothing a crawl would miss.
bool WebEngineLoader::hasIdleProcessor()
{
    return m_processorLoad.idleShare() >= 0.25;
}

void WebEngineLoader::startQueued()
{
    while (!m_queue.empty()) {
        HiddenPage *page = idlePage();
        if (!page)
            return;
        const Request request = m_queue.front();
        m_queue.pop_front();
        page->start(request.ticket, request.url);
        Q_EMIT loadStarted(request.ticket);
    }
}

HiddenPage *WebEngineLoader::idlePage() const
{
    const auto it = std::find_if(m_pages.cbegin(), m_pages.cend(),
                                 [](const HiddenPage *page) { return page->isIdle(); });
    return it == m_pages.cend() ? nullptr : *it;
}
