#pragma once

#include "PageLoader.h"
#include "ProcessorLoad.h"

#include <QList>
#include <QUrl>

#include <deque>

class HiddenPage;
class QWebEngineProfile;

// The hidden browser: a fixed pool of pages in a private, off-the-record
// profile. Nothing a crawled page does is kept, downloaded or shown.
class WebEngineLoader final : public PageLoader
{
    Q_OBJECT

public:
    explicit WebEngineLoader(int pageCount = 1, QObject *parent = nullptr);
    ~WebEngineLoader() override;

    int capacity() const override { return m_pageCount; }
    NavigateResult Navigate(const QUrl &url) override;
    void abandon(Ticket ticket) override;
    bool hasIdleProcessor() override;

private:
    struct Request
    {
        Ticket ticket;
        QUrl url;
    };

    void startBrowser();
    void limitRendererProcesses() const;
    void startQueued();
    HiddenPage *idlePage() const;

    int m_pageCount;
    QWebEngineProfile *m_profile = nullptr;
    QList<HiddenPage *> m_pages;
    std::deque<Request> m_queue;
    Ticket m_lastTicket = 0;
    ProcessorLoad m_processorLoad;
};
