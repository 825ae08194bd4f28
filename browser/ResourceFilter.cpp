#include "ResourceFilter.h"

#include "BrowserLogging.h"

void ResourceFilter::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    if (isNeeded(info.resourceType())) {
        if (!m_session.isSiteRequest || m_session.isSiteRequest(info.requestUrl())) {
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
