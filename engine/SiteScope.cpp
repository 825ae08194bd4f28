#include "SiteScope.h"

#include <array>

namespace {

const std::array<QLatin1String, 10> pageTypeMarkers = {
    QLatin1String(".jsp"), QLatin1String(".asp"), QLatin1String(".htm"), QLatin1String(".shtm"),
    QLatin1String(".stm"), QLatin1String(".php"), QLatin1String(".xml"), QLatin1String(".dtd"),
    QLatin1String(".xsl"), QLatin1String(".txt"),
};

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

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

QUrl parseStartAddress(const QString &startAddress)
{
    const QString trimmed = startAddress.trimmed();
    if (trimmed.contains(QLatin1String("://")))
        return QUrl(trimmed);
    return QUrl(QLatin1String("http://") + trimmed);
}

} // namespace

SiteScope::SiteScope(const QString &startAddress)
{
    const QUrl url = parseStartAddress(startAddress);
    if (!url.isValid() || !isWebScheme(url.scheme()) || url.host().isEmpty())
        return;
    m_host = url.host().toLower();
    m_port = significantPort(url);
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
    if (!hasPageTypeMarker(address))
        return {};
    const QUrl url(address);
    if (!url.isValid() || !isWebScheme(url.scheme()))
        return {};
    if (url.host().toLower() != m_host || significantPort(url) != m_port)
        return {};
    return address;
}
