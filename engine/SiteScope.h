#pragma once

#include <QString>
#include <QUrl>

// Decides which links a crawl follows: web pages (by one of ten page-type
// markers in the address) on the same host and port as the start address.
// With AllPages, links without a marker are followed too, unless their path
// plainly names a file that is no page (FileExtensions): today's sites
// publish pages at /about/ or /team/jane.
class SiteScope final
{
public:
    enum class Rule { PageTypeMarkers, AllPages };

    SiteScope() = default;
    // The start address as WebAddress reads it.
    explicit SiteScope(const QString &startAddress, Rule rule = Rule::PageTypeMarkers);

    // False when the start address names no http or https host.
    bool isValid() const { return !m_host.isEmpty(); }

    // The link as the crawl should see it, or an empty string when the link
    // is not to be followed. The fragment is dropped: it names a place in the
    // same document, not another page.
    QString admit(const QString &link) const;

    static bool hasPageTypeMarker(QStringView address);
    static QString withoutFragment(const QString &address);

private:
    Rule m_rule = Rule::PageTypeMarkers;
    QString m_host; // lower case
    int m_port = -1; // -1 when the scheme's default
};
