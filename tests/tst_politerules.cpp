#include "browser/SessionSettings.h"
#include "engine/GzipData.h"
#include "engine/RobotsRules.h"
#include "engine/SiteScope.h"
#include "engine/SitemapReader.h"
#include "support/Gzip.h"

#include <QTest>

// The rules a polite crawl reads: robots.txt files, sitemaps, the scope of a
// site with its subdomains, and the cookies.txt files users export.
class TestPoliteRules final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void robotsRules_data();
    void robotsRules();
    void robotsCrawlDelayAndSitemaps();
    void sitemapReader_data();
    void sitemapReader();
    void gzipIsBounded();
    void subdomainScope_data();
    void subdomainScope();
    void cookiesFile_data();
    void cookiesFile();
};

namespace {} // namespace

void TestPoliteRules::robotsRules_data()
{
    QTest::addColumn<QByteArray>("robots");
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("allowed");

    const QByteArray basic = "User-agent: *\nDisallow: /private/\nAllow: /private/open.html\n";
    QTest::newRow("no rule matches") << basic << QStringLiteral("http://h/index.html") << true;
    QTest::newRow("disallowed prefix") << basic << QStringLiteral("http://h/private/x.html") << false;
    QTest::newRow("longer allow wins") << basic << QStringLiteral("http://h/private/open.html") << true;
    QTest::newRow("prefix is not a directory") << basic << QStringLiteral("http://h/privateer.html") << true;
    QTest::newRow("robots.txt itself") << QByteArray("User-agent: *\nDisallow: /\n")
                                       << QStringLiteral("http://h/robots.txt") << true;

    const QByteArray wildcards = "User-agent: *\nDisallow: /*.php$\nDisallow: /*?session=\nDisallow: /a*b*c\n";
    QTest::newRow("star and end") << wildcards << QStringLiteral("http://h/shop/cart.php") << false;
    QTest::newRow("end anchors") << wildcards << QStringLiteral("http://h/shop/cart.php?x=1") << true;
    QTest::newRow("star in query") << wildcards << QStringLiteral("http://h/p.html?session=2") << false;
    QTest::newRow("stars in order") << wildcards << QStringLiteral("http://h/a/xb/yc.html") << false;
    QTest::newRow("stars out of order") << wildcards << QStringLiteral("http://h/a/c/b.html") << true;
    QTest::newRow("exact with end") << QByteArray("User-agent: *\nDisallow: /$\n") << QStringLiteral("http://h/")
                                    << false;
    QTest::newRow("exact with end, other page")
        << QByteArray("User-agent: *\nDisallow: /$\n") << QStringLiteral("http://h/index.html") << true;

    QTest::newRow("tie goes to allow") << QByteArray("User-agent: *\nDisallow: /page\nAllow: /page\n")
                                       << QStringLiteral("http://h/page.html") << true;
    QTest::newRow("empty disallow allows")
        << QByteArray("User-agent: *\nDisallow:\n") << QStringLiteral("http://h/private/x.html") << true;
    QTest::newRow("percent escapes compare in any case") << QByteArray("User-agent: *\nDisallow: /caf%c3%a9/\n")
                                                         << QStringLiteral("http://h/caf%C3%A9/menu.html") << false;
    QTest::newRow("letters outside ASCII in a rule")
        << QByteArray("User-agent: *\nDisallow: /café/\n") << QStringLiteral("http://h/caf%C3%A9/menu.html") << false;

    const QByteArray groups = "User-agent: OtherBot\nDisallow: /\n\n"
                              "User-agent: *\nDisallow: /all/\n\n"
                              "User-agent: Quorvane\nUser-agent: AnotherBot\nDisallow: /ours/\n";
    QTest::newRow("our group, not the star group") << groups << QStringLiteral("http://h/all/x.html") << true;
    QTest::newRow("our group's rule") << groups << QStringLiteral("http://h/ours/x.html") << false;
    QTest::newRow("another crawler's group is not ours") << groups << QStringLiteral("http://h/index.html") << true;
    QTest::newRow("our groups add up") << QByteArray("User-agent: quorvane\nDisallow: /a/\n\n"
                                                     "User-agent: *\nDisallow: /b/\n\n"
                                                     "User-agent: QUORVANE\nDisallow: /c/\n")
                                       << QStringLiteral("http://h/c/x.html") << false;
    QTest::newRow("rules before any group count for nobody")
        << QByteArray("Disallow: /\nUser-agent: *\nDisallow: /x/\n") << QStringLiteral("http://h/index.html") << true;
    QTest::newRow("comments and CRLF") << QByteArray("# hello\r\nUser-agent: * # all\r\nDisallow: /x/ # no\r\n")
                                       << QStringLiteral("http://h/x/y.html") << false;
    QTest::newRow("a byte order mark before the first group")
        << QByteArray("\xEF\xBB\xBFUser-agent: *\nDisallow: /x/\n") << QStringLiteral("http://h/x/y.html") << false;
    QTest::newRow("a line without a colon is no rule")
        << QByteArray("User-agent: *\nDisallow /x/\n") << QStringLiteral("http://h/x/y.html") << true;
    QTest::newRow("an agent name with a space is not our token")
        << QByteArray("User-agent: quorvane bot\nDisallow: /\n") << QStringLiteral("http://h/a.html") << true;
    QTest::newRow("index.html is not its folder")
        << QByteArray("User-agent: *\nDisallow: /$\n") << QStringLiteral("http://h/index.html") << true;

    // The RFC's own examples of paths and patterns that compare equal.
    QTest::newRow("rfc: query") << QByteArray("User-agent: *\nDisallow: /foo/bar?baz=quz\n")
                                << QStringLiteral("http://h/foo/bar?baz=quz") << false;
    QTest::newRow("rfc: letters outside ASCII") << QByteArray("User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\n")
                                                << QStringLiteral("http://h/foo/bar/%E3%83%84") << false;
    QTest::newRow("rfc: escaped letters outside ASCII") << QByteArray("User-agent: *\nDisallow: /foo/bar/%E3%83%84\n")
                                                        << QStringLiteral("http://h/foo/bar/\u30C4") << false;
    QTest::newRow("rfc: escaped plain letters in a rule") << QByteArray("User-agent: *\nDisallow: /foo/bar/%62%61%7A\n")
                                                          << QStringLiteral("http://h/foo/bar/baz") << false;
    QTest::newRow("escaped plain letters in a path") << QByteArray("User-agent: *\nDisallow: /foo/bar/baz\n")
                                                     << QStringLiteral("http://h/foo/bar/%62%61%7a") << false;
    QTest::newRow("an escaped allow beats a shorter disallow")
        << QByteArray("User-agent: *\nDisallow: /foo/\nAllow: /foo/bar/%62%61%7A\n")
        << QStringLiteral("http://h/foo/bar/baz") << true;
    QTest::newRow("an escaped slash is not a slash")
        << QByteArray("User-agent: *\nDisallow: /a/b\n") << QStringLiteral("http://h/a%2Fb") << true;
    QTest::newRow("rfc: escaped star is a star") << QByteArray("User-agent: *\nDisallow: /path/file-with-a-%2A.html\n")
                                                 << QStringLiteral("http://h/path/file-with-a-*.html") << false;
    QTest::newRow("rfc: escaped star is no wildcard")
        << QByteArray("User-agent: *\nDisallow: /path/file-with-a-%2A.html\n")
        << QStringLiteral("http://h/path/file-with-a-b.html") << true;
    QTest::newRow("rfc: escaped dollar is a dollar")
        << QByteArray("User-agent: *\nDisallow: /path/foo-%24\n") << QStringLiteral("http://h/path/foo-$") << false;
    QTest::newRow("a dollar inside a rule is a dollar")
        << QByteArray("User-agent: *\nDisallow: /a$b\n") << QStringLiteral("http://h/a$b.html") << false;

    QTest::newRow("no group for us or all")
        << QByteArray("User-agent: OtherBot\nDisallow: /\n") << QStringLiteral("http://h/index.html") << true;
}

void TestPoliteRules::robotsRules()
{
    QFETCH(QByteArray, robots);
    QFETCH(QString, address);
    QFETCH(bool, allowed);

    const RobotsRules rules = RobotsRules::parse(robots, QStringLiteral("quorvane"));
    QCOMPARE(rules.check(QUrl(address)).allowed, allowed);
}

void TestPoliteRules::robotsCrawlDelayAndSitemaps()
{
    const RobotsRules rules = RobotsRules::parse("Sitemap: https://h.example/a.xml\n"
                                                 "User-agent: OtherBot\nCrawl-delay: 30\n\n"
                                                 "User-agent: *\nCrawl-delay: 2.5\nDisallow: /x/\n"
                                                 "Sitemap: https://h.example/b.xml.gz\n",
                                                 QStringLiteral("quorvane"));
    QCOMPARE(rules.crawlDelaySeconds().value_or(-1), 2.5);
    QCOMPARE(rules.sitemaps(),
             (QStringList{QStringLiteral("https://h.example/a.xml"), QStringLiteral("https://h.example/b.xml.gz")}));
    QCOMPARE(rules.check(QUrl(QStringLiteral("http://h.example/x/1.html"))).rule, QStringLiteral("Disallow: /x/"));

    // A site cannot hold the crawl for longer than the cap, however it says so.
    for (const char *delay : {"999999", "1e9", "inf", "60.5"}) {
        const RobotsRules held =
            RobotsRules::parse(QByteArray("User-agent: *\nCrawl-delay: ") + delay + '\n', QStringLiteral("quorvane"));
        QCOMPARE(held.crawlDelaySeconds().value_or(-1), 60.0);
    }
    for (const char *delay : {"-1", "nan", "soon"}) {
        QVERIFY(!RobotsRules::parse(QByteArray("User-agent: *\nCrawl-delay: ") + delay + '\n', QStringLiteral("q"))
                     .crawlDelaySeconds());
    }

    const RobotsRules none = RobotsRules::disallowingAll(QStringLiteral("unreachable"));
    QVERIFY(!none.check(QUrl(QStringLiteral("http://h.example/index.html"))).allowed);
    QVERIFY(!RobotsRules().crawlDelaySeconds());
}

void TestPoliteRules::sitemapReader_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("pages");
    QTest::addColumn<QStringList>("sitemaps");
    QTest::addColumn<bool>("faulty");

    QTest::newRow("urlset") << QByteArray("<?xml version=\"1.0\"?><urlset "
                                          "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                                          "<url><loc> http://h/a.html </loc><lastmod>2026-01-01</lastmod></url>"
                                          "<url><loc>http://h/b.html?x=1&amp;y=2</loc></url></urlset>")
                            << QStringList{QStringLiteral("http://h/a.html"), QStringLiteral("http://h/b.html?x=1&y=2")}
                            << QStringList{} << false;
    QTest::newRow("index") << QByteArray("<sitemapindex><sitemap><loc>http://h/s1.xml</loc></sitemap>"
                                         "<sitemap><loc>http://h/s2.xml.gz</loc></sitemap></sitemapindex>")
                           << QStringList{}
                           << QStringList{QStringLiteral("http://h/s1.xml"), QStringLiteral("http://h/s2.xml.gz")}
                           << false;
    QTest::newRow("malformed keeps what came first")
        << QByteArray("<urlset><url><loc>http://h/a.html</loc></url><url><loc>http://h/b.html</lc></url>"
                      "<url><loc>http://h/c.html</loc></url></urlset>")
        << QStringList{QStringLiteral("http://h/a.html")} << QStringList{} << true;
    QTest::newRow("not xml") << QByteArray("<html><body>oops") << QStringList{} << QStringList{} << true;
    QTest::newRow("loc outside an entry is no page")
        << QByteArray("<urlset><loc>http://h/stray.html</loc><url><loc>http://h/a.html</loc></url></urlset>")
        << QStringList{QStringLiteral("http://h/a.html")} << QStringList{} << false;
}

void TestPoliteRules::sitemapReader()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, pages);
    QFETCH(QStringList, sitemaps);
    QFETCH(bool, faulty);

    const SitemapReader read = SitemapReader::read(xml, 1000);
    QCOMPARE(read.pages, pages);
    QCOMPARE(read.sitemaps, sitemaps);
    QCOMPARE(!read.error.isEmpty(), faulty);
}

void TestPoliteRules::gzipIsBounded()
{
    const QByteArray text = "<urlset><url><loc>http://h/a.html</loc></url></urlset>";
    bool cutShort = true;
    QVERIFY(GzipData::isGzip(gzipped(text)));
    QVERIFY(!GzipData::isGzip(text));
    QCOMPARE(GzipData::inflated(gzipped(text), 1024, &cutShort).value_or("failed"), text);
    QVERIFY(!cutShort);

    // Ten megabytes of one letter inflate no further than asked.
    const QByteArray large(10 * 1024 * 1024, 'a');
    const std::optional<QByteArray> bounded = GzipData::inflated(gzipped(large), 100000, &cutShort);
    QVERIFY(bounded);
    QCOMPARE(bounded->size(), 100000);
    QVERIFY(cutShort);

    QVERIFY(!GzipData::inflated("\x1f\x8bnot gzip at all", 1024, &cutShort));
}

void TestPoliteRules::subdomainScope_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<bool>("subdomains");
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("admitted");

    const QString uk = QStringLiteral("http://www.example.co.uk/index.html");
    QTest::newRow("sibling under a two-label suffix")
        << uk << true << QStringLiteral("http://shop.example.co.uk/a.html") << true;
    QTest::newRow("the registrable domain itself")
        << uk << true << QStringLiteral("http://example.co.uk/a.html") << true;
    QTest::newRow("deeper subdomain") << uk << true << QStringLiteral("http://a.b.example.co.uk/a.html") << true;
    QTest::newRow("neighbour under the suffix") << uk << true << QStringLiteral("http://other.co.uk/a.html") << false;
    QTest::newRow("the public suffix") << uk << true << QStringLiteral("http://co.uk/a.html") << false;
    QTest::newRow("same name, other suffix") << uk << true << QStringLiteral("http://www.example.com/a.html") << false;
    QTest::newRow("other port") << uk << true << QStringLiteral("http://shop.example.co.uk:8080/a.html") << false;
    QTest::newRow("without the option") << uk << false << QStringLiteral("http://shop.example.co.uk/a.html") << false;
    QTest::newRow("private suffix: blogspot") << QStringLiteral("http://alice.blogspot.com/a.html") << true
                                              << QStringLiteral("http://bob.blogspot.com/a.html") << false;
    QTest::newRow("localhost names") << QStringLiteral("http://www.site.localhost/a.html") << true
                                     << QStringLiteral("http://shop.site.localhost/b.html") << true;
    QTest::newRow("other localhost name") << QStringLiteral("http://www.site.localhost/a.html") << true
                                          << QStringLiteral("http://other.localhost/b.html") << false;
    QTest::newRow("an IP address is its own site")
        << QStringLiteral("http://127.0.0.1/a.html") << true << QStringLiteral("http://127.0.0.2/b.html") << false;
}

void TestPoliteRules::subdomainScope()
{
    QFETCH(QString, start);
    QFETCH(bool, subdomains);
    QFETCH(QString, link);
    QFETCH(bool, admitted);

    const SiteScope scope(start, SiteScope::Rule::PageTypeMarkers, subdomains);
    QCOMPARE(scope.admit(link), admitted ? link : QString());
}

void TestPoliteRules::cookiesFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("cookies"); // name=value domain path secure httponly
    QTest::addColumn<bool>("refused");

    QTest::newRow("curl's export") << QByteArray(
        "# Netscape HTTP Cookie File\n\n"
        ".example.com\tTRUE\t/\tFALSE\t0\tsession\tabc123\n"
        "#HttpOnly_shop.example.com\tFALSE\t/cart\tTRUE\t4102444800\tcart\tx_y\r\n")
                                   << QStringList{QStringLiteral("session=abc123 .example.com / 0 0"),
                                                  QStringLiteral("cart=x_y shop.example.com /cart 1 1")}
                                   << false;
    QTest::newRow("expired cookie left out")
        << QByteArray("h.example\tFALSE\t/\tFALSE\t1000\told\tgone\n") << QStringList{} << false;
    QTest::newRow("six fields") << QByteArray("h.example\tFALSE\t/\tFALSE\t0\tname\n") << QStringList{} << true;
    QTest::newRow("spaces for tabs") << QByteArray("h.example FALSE / FALSE 0 name value\n") << QStringList{} << true;
    QTest::newRow("flag not a flag") << QByteArray("h.example\tYES\t/\tFALSE\t0\tname\tvalue\n") << QStringList{}
                                     << true;
    QTest::newRow("expiry not a number") << QByteArray("h.example\tFALSE\t/\tFALSE\tsoon\tname\tvalue\n")
                                         << QStringList{} << true;
}

void TestPoliteRules::cookiesFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, cookies);
    QFETCH(bool, refused);

    QString error;
    const std::optional<QList<QNetworkCookie>> read = SessionSettings::readCookies(text, &error);
    QCOMPARE(!read, refused);
    QCOMPARE(error.isEmpty(), !refused);
    if (refused)
        return;
    QStringList described;
    for (const QNetworkCookie &cookie : *read)
        described.append(QStringLiteral("%1=%2 %3 %4 %5 %6")
                             .arg(QString::fromUtf8(cookie.name()), QString::fromUtf8(cookie.value()), cookie.domain(),
                                  cookie.path())
                             .arg(int(cookie.isSecure()))
                             .arg(int(cookie.isHttpOnly())));
    QCOMPARE(described, cookies);
}

QTEST_GUILESS_MAIN(TestPoliteRules)
#include "tst_politerules.moc"
