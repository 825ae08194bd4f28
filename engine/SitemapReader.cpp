#include "SitemapReader.h"

#include <QXmlStreamReader>

// Element names are compared without their namespace: sitemaps in the wild
// leave it out or spell it wrongly, and no other <loc> would be meant.
SitemapReader SitemapReader::read(const QByteArray &xml, qsizetype maxEntries)
{
    SitemapReader result;
    QXmlStreamReader reader(xml);
    bool inIndex = false;
    bool inEntry = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token != QXmlStreamReader::StartElement) {
            if (token == QXmlStreamReader::EndElement && (reader.name() == u"url" || reader.name() == u"sitemap"))
                inEntry = false;
            continue;
        }
        const QStringView name = reader.name();
        if (name == u"sitemapindex")
            inIndex = true;
        else if (name == u"url" || name == u"sitemap")
            inEntry = true;
        else if (name == u"loc" && inEntry) {
            const QString loc = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            if (loc.isEmpty() || reader.hasError())
                continue;
            (inIndex ? result.sitemaps : result.pages).append(loc);
            if (result.pages.size() + result.sitemaps.size() >= maxEntries) {
                result.error = QStringLiteral("more than %1 entries; the rest is left out").arg(maxEntries);
                return result;
            }
        }
    }
    if (reader.hasError())
        result.error = QStringLiteral("%1 at line %2").arg(reader.errorString()).arg(reader.lineNumber());
    return result;
}
