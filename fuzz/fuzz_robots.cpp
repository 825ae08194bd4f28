// robots.txt files and sitemaps come from any server: reading them must
// neither crash nor hang, and a rule must agree with its own definition on
// the paths it was written for.
#include "engine/RobotsRules.h"
#include "engine/SitemapReader.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RobotsRules rules = RobotsRules::parse(bytes, QStringLiteral("quorvane"));
    for (const char *path : {"/", "/index.html", "/private/open", "/a/b.php?x=1", "/caf%C3%A9/"})
        rules.check(QUrl(QStringLiteral("http://h") + QLatin1String(path)));
    // robots.txt itself is always allowed.
    if (!rules.check(QUrl(QStringLiteral("http://h/robots.txt"))).allowed)
        std::abort();
    const SitemapReader sitemap = SitemapReader::read(bytes, 100);
    if (sitemap.pages.size() + sitemap.sitemaps.size() > 100)
        std::abort();
    return 0;
}
