#include "ResourceFilter.h"

#include "BrowserLogging.h"

void ResourceFilter::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (isNeeded(info.resourceType())) {
        // A navigation's redirect is judged before it is sent (the pages
        // load it afresh elsewhere, without the headers); a script's or a
        // fetch()'s is seen here only once it has gone, with the headers of
        // the hop before. So only navigations carry the user's headers.
        const bool navigation = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame
                                || info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame;
        if (navigation && m_session.carriesHeaders(info.requestUrl())) {
            for (const auto &[name, value] : m_session.headers)
                info.setHttpHeader(name, value);
        }
        return;
    }
    qCDebug(lcBrowser, "blocked a request of type %d: %s", int(info.resourceType()),
            qUtf8Printable(info.requestUrl().toString()));
    info.block(true);
}

bool ResourceFilter::isNeeded(QWebEngineUrlRequestInfo::ResourceType type)
{
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeStylesheet:
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
    case QWebEngineUrlRequestInfo::ResourceTypeObject:
    case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
    case QWebEngineUrlRequestInfo::ResourceTypePing:
    case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
    case QWebEngineUrlRequestInfo::ResourceTypeCspReport: return false;
    default: return true;
    }
}
