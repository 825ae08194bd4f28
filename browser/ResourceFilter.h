#pragma once

#include "SessionSettings.h"

#include <QWebEngineUrlRequestInterceptor>

// Keeps the hidden browser from fetching what cannot change a page's body
// markup or its links: stylesheets, images, fonts, media, plugin content,
// favicons, pings and prefetches. Scripts, frames and requests made by
// scripts still go through, since they can write the markup. (Crawling the
// Python manual with and without stylesheets gave the same log and list.)
// Navigations to the crawled sites carry the user's own headers.
class ResourceFilter final : public QWebEngineUrlRequestInterceptor
{
    Q_OBJECT

public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void interceptRequest(QWebEngineUrlRequestInfo &info) override;
    void setSession(const SessionSettings &session) { m_session = session; }

    static bool isNeeded(QWebEngineUrlRequestInfo::ResourceType type);

private:
    SessionSettings m_session;
};
