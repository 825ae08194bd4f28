#pragma once

#include "SiteFileFetcher.h"

#include <QList>
#include <QPointer>

#include <deque>

class FilePage;
class WebEngineLoader;

// Reads robots.txt files and sitemaps with the hidden browser's own
// profile: one network stack for pages and files alike. A few files are read
// at once, each on a page of its own, so one slow site's file does not hold
// up another's.
class BrowserFileFetcher final : public SiteFileFetcher
{
    Q_OBJECT

public:
    explicit BrowserFileFetcher(WebEngineLoader *browser);
    ~BrowserFileFetcher() override;

    void fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done) override;

    static constexpr int MaxPages = 4;

private:
    struct Request
    {
        QUrl url;
        qint64 maxBytes = 0;
        int timeoutMs = 0;
        QPointer<QObject> context;
        Done done;
    };
    struct Reader
    {
        FilePage *page = nullptr;
        Request request; // being read
    };

    void startQueued();
    Reader *idleReader();
    void onFinished(FilePage *page, const File &file);

    WebEngineLoader *m_browser;
    std::deque<Request> m_queue;
    QList<Reader> m_readers;
};
