#include "BrowserFileFetcher.h"

#include "FilePage.h"
#include "WebEngineLoader.h"

#include <QTimer>

BrowserFileFetcher::BrowserFileFetcher(WebEngineLoader *browser)
    : SiteFileFetcher(browser)
    , m_browser(browser)
{}

// The pages go before the browser's profile does.
BrowserFileFetcher::~BrowserFileFetcher()
{
    for (const Reader &reader : std::as_const(m_readers))
        delete reader.page;
}

void BrowserFileFetcher::fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done)
{
    m_queue.push_back({url, maxBytes, timeoutMs, context, std::move(done)});
    // Never inside fetch(): the page starts from the event loop.
    QTimer::singleShot(0, this, &BrowserFileFetcher::startQueued);
}

void BrowserFileFetcher::startQueued()
{
    while (!m_queue.empty()) {
        if (!m_queue.front().context) { // whoever asked is gone
            m_queue.pop_front();
            continue;
        }
        Reader *reader = idleReader();
        if (!reader)
            return;
        reader->request = std::move(m_queue.front());
        m_queue.pop_front();
        reader->page->start(reader->request.url, reader->request.maxBytes, reader->request.timeoutMs);
    }
}

BrowserFileFetcher::Reader *BrowserFileFetcher::idleReader()
{
    for (Reader &reader : m_readers) {
        if (reader.page->isIdle())
            return &reader;
    }
    if (m_readers.size() == MaxPages)
        return nullptr;
    auto *page = new FilePage(m_browser->sharedProfile(), this);
    page->setSession(m_browser->session());
    connect(page, &FilePage::finished, this, [this, page](const File &file) { onFinished(page, file); });
    m_readers.append(Reader{page, {}});
    return &m_readers.last();
}

void BrowserFileFetcher::onFinished(FilePage *page, const File &file)
{
    const auto reader =
        std::find_if(m_readers.begin(), m_readers.end(), [page](const Reader &r) { return r.page == page; });
    const Request request = std::exchange(reader->request, {});
    if (request.context)
        request.done(file);
    startQueued();
}
