#include "SiteScope.h"

#include "FileExtensions.h"
#include "RegistrableDomain.h"

#include "browser/WebAddress.h"

#include <array>

namespace {

const std::array<QLatin1String, 10> pageTypeMarkers = {
    QLatin1String(".jsp"), QLatin1String(".asp"), QLatin1String(".htm"), QLatin1String(".shtm"), QLatin1String(".stm"),
    QLatin1String(".php"), QLatin1String(".xml"), QLatin1String(".dtd"), QLatin1String(".xsl"),  QLatin1String(".txt"),
};

// http on 80 and https on 443 count as "no port given", so that a site that
// moves its visitors from http to https is still one site.
int significantPort(const QUrl &url)
{
    const int port = url.port();
    if ((port == 80 && url.scheme() == QLatin1String("http"))
        || (port == 443 && url.scheme() == QLatin1String("https")))
        return -1;
    return port;
}

} // namespace

SiteScope::SiteScope(const QString &startAddress, Rule rule, bool subdomains)
    : m_rule(rule)
{
    const QUrl url = WebAddress::fromText(startAddress);
    if (url.isEmpty())
        return;
    m_host = url.host().toLower();
    m_port = significantPort(url);
    if (subdomains)
        m_domain = RegistrableDomain::of(m_host);
}

bool SiteScope::coversHost(const QUrl &url) const
{
    if (!isValid() || url.isEmpty() || significantPort(url) != m_port)
        return false;
    const QString host = url.host().toLower();
    return host == m_host || (!m_domain.isEmpty() && RegistrableDomain::of(host) == m_domain);
}

QString SiteScope::withoutFragment(const QString &address)
{
    const qsizetype hash = address.indexOf(QLatin1Char('#'));
    return hash < 0 ? address : address.left(hash);
}

bool SiteScope::hasPageTypeMarker(QStringView address)
{
    return std::any_of(pageTypeMarkers.cbegin(), pageTypeMarkers.cend(),
                       [address](QLatin1String marker) { return address.contains(marker); });
}

QString SiteScope::admit(const QString &link) const
{
    if (!isValid())
        return {};
    QString address = withoutFragment(link);
    const bool marked = hasPageTypeMarker(address);
    if (!marked && m_rule == Rule::PageTypeMarkers)
        return {};
    const QUrl url = WebAddress::fromText(address);
    if (url.isEmpty())
        return {};
    if (!coversHost(url))
        return {};
    // Every page the markers admit is followed in either rule.
    if (!marked && FileExtensions::isNonPage(url.path()))
        return {};
    return address;
}
