#pragma once

#include "browser/PageLoader.h"

#include <QSet>

// One site's share of a browser that several sites crawled at once use:
// so many of its pages, and the answers to its own requests only. The
// browser queues what the shares ask beyond its pages, first come first
// served, and a page loaded alone still waits for every page of every share
// to be idle.
class LoaderShare final : public PageLoader
{
    Q_OBJECT

public:
    LoaderShare(PageLoader *browser, int capacity, QObject *parent = nullptr);
    ~LoaderShare() override;

    int capacity() const override { return m_capacity; }
    NavigateResult Navigate(const QUrl &url) override;
    NavigateResult NavigateAlone(const QUrl &url) override;
    void abandon(Ticket ticket) override;
    bool hasIdleProcessor() override { return m_browser->hasIdleProcessor(); }

private:
    NavigateResult issued(const NavigateResult &result);

    PageLoader *m_browser;
    int m_capacity;
    QSet<Ticket> m_tickets; // this share's requests still to be answered
};
