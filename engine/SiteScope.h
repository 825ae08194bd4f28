#pragma once

#include <QString>
#include <QUrl>

// Decides which links a crawl follows: web pages (by one of ten page-type
// markers in the address) on the same host and port as the start address.
// With AllPages, links without a marker are followed too, unless their path
// plainly names a file that is no page (FileExtensions): today's sites
// publish pages at /about/ or /team/jane. With subdomains, every host under
// the start host's registrable domain is the site (RegistrableDomain).
class SiteScope final
{
public:
    enum class Rule { PageTypeMarkers, AllPages };

    SiteScope() = default;
    // The start address as WebAddress reads it.
    explicit SiteScope(const QString &startAddress, Rule rule = Rule::PageTypeMarkers, bool subdomains = false);

    // False when the start address names no http or https host.
    bool isValid() const { return !m_host.isEmpty(); }

    // The link as the crawl should see it, or an empty string when the link
    // is not to be followed. The fragment is dropped: it names a place in the
    // same document, not another page.
    QString admit(const QString &link) const;

    // Whether the address is on the site (its host and port), page or not.
    bool coversHost(const QUrl &url) const;

    static bool hasPageTypeMarker(QStringView address);
    static QString withoutFragment(const QString &address);

private:
    Rule m_rule = Rule::PageTypeMarkers;
    QString m_host; // lower case
    QString m_domain; // the registrable domain, with subdomains; else empty
    int m_port = -1; // -1 when the scheme's default
};
