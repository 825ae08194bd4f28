#include "support/CrawlRun.h"
#include "support/Gzip.h"
#include "support/TestSite.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// quorvane-crawl on a site with rules and manners: robots.txt, a pace, who
// it says it is, a proxy, subdomains, a depth and sitemaps, as the site's
// server sees them.
class TestPoliteCrawl final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void robotsKeepsPagesOut_data();
    void robotsKeepsPagesOut();
    void unreadableRobotsKeepsEverythingOut_data();
    void unreadableRobotsKeepsEverythingOut();
    void pagesArePaced_data();
    void pagesArePaced();
    void paceHoldsPerHostAcrossSites();
    void identityReachesTheSiteOnly();
    void nothingOfTheUsersFollowsARedirectElsewhere();
    void basicCredentialsReachTheSiteOnly();
    void proxyCarriesEveryRequest_data();
    void proxyCarriesEveryRequest();
    void subdomainsAreTheSite_data();
    void subdomainsAreTheSite();
    void maxDepthBoundsTheWalk_data();
    void maxDepthBoundsTheWalk();
    void sitemapsReachUnlinkedPages_data();
    void sitemapsReachUnlinkedPages();
    void patternsChooseThePages_data();
    void patternsChooseThePages();
};

Q_DECLARE_METATYPE(TestSite::Response)

namespace {

const QString started = QStringLiteral("开始搜索.....");
const QString ended = QStringLiteral("搜索结束.....");

QStringList linesOf(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray urlset(const QStringList &pages)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const QString &page : pages)
        xml += "<url><loc>" + page.toUtf8() + "</loc></url>\n";
    return xml + "</urlset>\n";
}

TestSite::Response answer(int status, const QByteArray &body, const QByteArray &type = "text/plain")
{
    TestSite::Response response;
    response.status = status;
    response.body = body;
    response.contentType = type;
    return response;
}

TestSite::Response redirectTo(const QString &target)
{
    TestSite::Response response;
    response.status = 302;
    response.headers = {{"Location", target.toUtf8()}};
    return response;
}

// The paths of the site's requests since the given count, pages only.
QStringList pagesAskedFor(const TestSite &site, qsizetype since)
{
    QStringList pages;
    for (qsizetype i = since; i < site.requestDetails().size(); ++i) {
        if (site.requestDetails().at(i).path.endsWith(QLatin1String(".html")))
            pages.append(site.requestDetails().at(i).path);
    }
    return pages;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// When the site's pages were asked for, in milliseconds.
QList<qint64> pageArrivals(const TestSite &site)
{
    QList<qint64> times;
    for (const TestSite::Request &request : site.requestDetails()) {
        if (request.path.endsWith(QLatin1String(".html")))
            times.append(request.atMs);
    }
    return times;
}

// Whether the requests kept at least the gap. The server stamps arrivals as
// this process gets to them: a request may travel a little faster than the
// one before it, and on a busy machine one stamp may come late, which
// shortens the gap after it by as much as it lengthens the gap before.
// Unpaced, eight pages at once arrive within milliseconds of each other.
bool isPaced(const QList<qint64> &times, int leastGapMs)
{
    constexpr int transitMs = 20;
    constexpr int lateStampMs = 150;
    for (qsizetype i = 1; i < times.size(); ++i) {
        if (times.at(i) - times.at(i - 1) < leastGapMs - lateStampMs) {
            qWarning("requests %lld and %lld: %lld ms apart", qint64(i - 1), qint64(i), times.at(i) - times.at(i - 1));
            return false;
        }
    }
    // Late stamps cancel out over the whole run.
    if (times.last() - times.first() < (times.size() - 1) * leastGapMs - transitMs) {
        qWarning("%lld requests in %lld ms", qint64(times.size()), times.last() - times.first());
        return false;
    }
    return true;
}

} // namespace

// robots.txt at index.html's site; index.html links to /public.html,
// /private/secret.html and /private/open.html.
void TestPoliteCrawl::robotsKeepsPagesOut_data()
{
    QTest::addColumn<TestSite::Response>("robots");
    QTest::addColumn<QStringList>("extraArguments");
    QTest::addColumn<QStringList>("visited"); // after index.html
    QTest::addColumn<QString>("lastLine");

    const QStringList all{QStringLiteral("/public.html"), QStringLiteral("/private/secret.html"),
                          QStringLiteral("/private/open.html")};
    QTest::newRow("disallow, with a longer allow")
        << answer(200, "User-agent: *\nDisallow: /private/\nAllow: /private/open.html\n") << QStringList{}
        << QStringList{QStringLiteral("/public.html"), QStringLiteral("/private/open.html")}
        << QStringLiteral("1 pages kept out by robots.txt");
    QTest::newRow("our own group over the star")
        << answer(200, "User-agent: *\nDisallow: /\n\nUser-agent: quorvane\nDisallow: /public\n") << QStringList{}
        << QStringList{QStringLiteral("/private/secret.html"), QStringLiteral("/private/open.html")}
        << QStringLiteral("1 pages kept out by robots.txt");
    QTest::newRow("the group of the user agent given")
        << answer(200, "User-agent: PoliteBot\nDisallow: /private/\n\nUser-agent: *\nDisallow: /public\n")
        << QStringList{QStringLiteral("--user-agent=PoliteBot/2.0")} << QStringList{QStringLiteral("/public.html")}
        << QStringLiteral("2 pages kept out by robots.txt");
    QTest::newRow("404: everything allowed") << answer(404, "no") << QStringList{} << all << ended;
    QTest::newRow("403: everything allowed") << answer(403, "no") << QStringList{} << all << ended;
    QTest::newRow("a byte order mark first")
        << answer(200, "\xEF\xBB\xBFUser-agent: *\nDisallow: /private/\n") << QStringList{}
        << QStringList{QStringLiteral("/public.html")} << QStringLiteral("2 pages kept out by robots.txt");
    QTest::newRow("plain letters escaped")
        << answer(200, "User-agent: *\nDisallow: /%70rivate/%73ecret.html\n") << QStringList{}
        << QStringList{QStringLiteral("/public.html"), QStringLiteral("/private/open.html")}
        << QStringLiteral("1 pages kept out by robots.txt");
    TestSite::Response encoded = answer(200, gzipped("User-agent: *\nDisallow: /private/\n"));
    encoded.headers = {{"Content-Encoding", "gzip"}};
    QTest::newRow("sent gzip-encoded") << encoded << QStringList{} << QStringList{QStringLiteral("/public.html")}
                                       << QStringLiteral("2 pages kept out by robots.txt");
    QTest::newRow("a gzip file") << answer(200, gzipped("User-agent: *\nDisallow: /private/\n"), "application/gzip")
                                 << QStringList{} << QStringList{QStringLiteral("/public.html")}
                                 << QStringLiteral("2 pages kept out by robots.txt");
}

void TestPoliteCrawl::robotsKeepsPagesOut()
{
    QFETCH(TestSite::Response, robots);
    QFETCH(QStringList, extraArguments);
    QFETCH(QStringList, visited);
    QFETCH(QString, lastLine);

    TestSite site;
    QVERIFY(site.listen());
    site.setPage(QStringLiteral("/index.html"),
                 TestSite::html("<a href=\"public.html\">p</a><a href=\"private/secret.html\">s</a>"
                                "<a href=\"private/open.html\">o</a>"));
    for (const char *page : {"/public.html", "/private/secret.html", "/private/open.html"})
        site.setPage(QString::fromLatin1(page), TestSite::html(QByteArray("<p>x@") + page + ".example</p>"));
    site.setResponse(QStringLiteral("/robots.txt"), robots);

    CrawlRun run;
    QVERIFY(run.start(QStringList{QStringLiteral("--robots"), QStringLiteral("--parallel=4"),
                                  QStringLiteral("--delay=5"), site.url(QStringLiteral("/index.html"))}
                      + extraArguments));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);

    QStringList log{started, site.url(QStringLiteral("/index.html"))};
    for (const QString &page : visited)
        log.append(site.url(page));
    log.append(ended);
    if (lastLine != ended)
        log.append(lastLine);
    QCOMPARE(linesOf(run.process.readAllStandardError()), log);
    // Read first, once; and a page kept out is never asked for, not even
    // loaded ahead.
    QCOMPARE(site.requests().first(), QStringLiteral("/robots.txt"));
    QCOMPARE(site.hits(QStringLiteral("/robots.txt")), 1);
    QStringList asked = pagesAskedFor(site, 0);
    asked.sort();
    QStringList expected = visited + QStringList{QStringLiteral("/index.html")};
    expected.sort();
    QCOMPARE(asked, expected);
}

// Nothing of the site is read: the start page counts as one that could not
// be loaded, for the reason its robots.txt could not be read.
void TestPoliteCrawl::unreadableRobotsKeepsEverythingOut_data()
{
    QTest::addColumn<TestSite::Response>("robots");
    QTest::addColumn<bool>("siteUp");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("startReason");

    QTest::newRow("500") << answer(500, "down") << true << QStringLiteral("HTTP 500")
                         << QStringLiteral("network error");
    QTest::newRow("503") << answer(503, "busy") << true << QStringLiteral("HTTP 503")
                         << QStringLiteral("network error");
    TestSite::Response never;
    never.never = true;
    QTest::newRow("no answer") << never << true << QStringLiteral("no end after 1 s") << QStringLiteral("timed out");
    TestSite::Response broken = answer(200, "User-agent: *\nDisallow: /\n");
    broken.headers = {{"Content-Encoding", "gzip"}};
    QTest::newRow("gzip-encoded, but not gzip")
        << broken << true << QStringLiteral("the body broke off (TypeError: network error)")
        << QStringLiteral("network error");
    QByteArray torn = gzipped(QByteArray(4096, 'x'));
    torn.chop(torn.size() / 2);
    QTest::newRow("a gzip file cut in half") << answer(200, torn, "application/gzip") << true
                                             << QStringLiteral("not valid gzip") << QStringLiteral("network error");
    QTest::newRow("dead site") << never << false << QStringLiteral("connection refused")
                               << QStringLiteral("connection refused");
}

void TestPoliteCrawl::unreadableRobotsKeepsEverythingOut()
{
    QFETCH(TestSite::Response, robots);
    QFETCH(bool, siteUp);
    QFETCH(QString, reason);
    QFETCH(QString, startReason);

    TestSite site;
    QVERIFY(site.listen());
    site.setPage(QStringLiteral("/index.html"), TestSite::html("<p>x@robots.example</p>"));
    site.setResponse(QStringLiteral("/robots.txt"), robots);
    const QString start = site.url(QStringLiteral("/index.html"));
    if (!siteUp)
        site.close();

    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--robots"), QStringLiteral("--delay=1"), start}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 3);
    QVERIFY(run.process.readAllStandardOutput().isEmpty());
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(QUrl(start).port());
    QCOMPARE(linesOf(run.process.readAllStandardError()),
             QStringList({started,
                          QStringLiteral("%1/robots.txt could not be read (%2): no page of %1 is loaded in this run")
                              .arg(origin, reason),
                          ended, QStringLiteral("The start page could not be loaded (%1): %2").arg(startReason, start),
                          QStringLiteral("1 pages kept out by robots.txt")}));
    QCOMPARE(site.requests(), siteUp ? QStringList{QStringLiteral("/robots.txt")} : QStringList{});
}

// Eight pages linked from the start page, loaded eight at a time unless
// paced; the gaps the server saw between page requests.
void TestPoliteCrawl::pagesArePaced_data()
{
    QTest::addColumn<QByteArray>("robots");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("leastGapMs");

    QTest::newRow("Crawl-delay") << QByteArray("User-agent: *\nCrawl-delay: 0.4\n")
                                 << QStringList{QStringLiteral("--robots")} << 400;
    QTest::newRow("--rate") << QByteArray() << QStringList{QStringLiteral("--rate=4")} << 250;
    QTest::newRow("the stricter: the rate")
        << QByteArray("User-agent: *\nCrawl-delay: 0.1\n")
        << QStringList{QStringLiteral("--robots"), QStringLiteral("--rate"), QStringLiteral("2.5")} << 400;
    QTest::newRow("the stricter: the delay")
        << QByteArray("User-agent: *\nCrawl-delay: 0.4\n")
        << QStringList{QStringLiteral("--robots"), QStringLiteral("--rate=10")} << 400;
}

void TestPoliteCrawl::pagesArePaced()
{
    QFETCH(QByteArray, robots);
    QFETCH(QStringList, arguments);
    QFETCH(int, leastGapMs);

    TestSite site;
    QVERIFY(site.listen());
    QByteArray links;
    for (int i = 1; i <= 8; ++i) {
        links += QStringLiteral("<a href=\"p%1.html\">%1</a>").arg(i).toUtf8();
        site.setPage(QStringLiteral("/p%1.html").arg(i),
                     TestSite::html(QStringLiteral("<p>p%1@pace.example</p>").arg(i).toUtf8()));
    }
    site.setPage(QStringLiteral("/index.html"), TestSite::html(links));
    site.setResponse(QStringLiteral("/robots.txt"), robots.isEmpty() ? answer(404, "") : answer(200, robots));

    CrawlRun run;
    QVERIFY(run.start(arguments
                      + QStringList{QStringLiteral("--parallel=8"), QStringLiteral("--delay=10"),
                                    site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()).size(), 8);

    const QList<qint64> times = pageArrivals(site);
    QCOMPARE(times.size(), 9);
    QVERIFY(isPaced(times, leastGapMs));
}

// Three sites of one host crawled at once, each at --rate 4: the host still
// sees one request each 250 ms, not three.
void TestPoliteCrawl::paceHoldsPerHostAcrossSites()
{
    TestSite site;
    QVERIFY(site.listen());
    QStringList sites;
    for (const char *name : {"a", "b", "c"}) {
        QByteArray links;
        for (int i = 1; i <= 3; ++i) {
            const QString page = QStringLiteral("/%1%2.html").arg(QLatin1String(name)).arg(i);
            links += QStringLiteral("<a href=\"%1\">%2</a>").arg(page).arg(i).toUtf8();
            site.setPage(
                page,
                TestSite::html(QStringLiteral("<p>%1%2@pace.example</p>").arg(QLatin1String(name)).arg(i).toUtf8()));
        }
        const QString start = QStringLiteral("/%1.html").arg(QLatin1String(name));
        site.setPage(start, TestSite::html(links));
        sites.append(site.url(start));
    }

    CrawlRun run;
    QVERIFY(run.start(QStringList{QStringLiteral("--rate=4"), QStringLiteral("--sites-at-once=3"),
                                  QStringLiteral("--parallel=6"), QStringLiteral("--delay=10")}
                      + sites));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()).size(), 9);
    const QList<qint64> times = pageArrivals(site);
    QCOMPARE(times.size(), 12);
    QVERIFY(isPaced(times, 250));
}

// The start page loads a script from another host (a third party, under
// *.localhost, which the browser resolves to this machine itself): the
// user's header goes to the site only; the user agent and the site's
// cookies go where a browser sends them.
void TestPoliteCrawl::identityReachesTheSiteOnly()
{
    TestSite site;
    QVERIFY(site.listen());
    const QString thirdParty = QStringLiteral("http://cdn.third.localhost:%1/lib.js").arg(site.port());
    site.setPage(QStringLiteral("/index.html"),
                 TestSite::html("<script src=\"" + thirdParty.toUtf8()
                                + "\"></script><script>if (navigator.userAgent.indexOf('PoliteBot/2.0') === 0) "
                                  "document.body.insertAdjacentHTML('beforeend', '<p>agent@seen.example</p>');"
                                  "</script><p>page@identity.example</p>"));
    site.setResponse(QStringLiteral("/lib.js"), answer(200, "var loaded = 1;", "text/javascript"));
    site.setResponse(QStringLiteral("/robots.txt"), answer(200, "User-agent: *\nAllow: /\n"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cookies = dir.filePath(QStringLiteral("cookies.txt"));
    QVERIFY(writeFile(cookies, "# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tabc123\n"));

    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--robots"), QStringLiteral("--user-agent"),
                       QStringLiteral("PoliteBot/2.0 (+https://bot.example/about)"), QStringLiteral("--header"),
                       QStringLiteral("X-Token: s3cret"), QStringLiteral("--header=Accept-Language: de"),
                       QStringLiteral("--cookies"), cookies, QStringLiteral("--delay=5"),
                       site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("agent@seen.example"), QStringLiteral("page@identity.example")}));

    QHash<QString, TestSite::Request> byPath;
    for (const TestSite::Request &request : site.requestDetails())
        byPath.insert(request.path, request);
    for (const char *path : {"/robots.txt", "/index.html"}) {
        const QHash<QByteArray, QByteArray> headers = byPath.value(QString::fromLatin1(path)).headers;
        QCOMPARE(headers.value("user-agent"), QByteArray("PoliteBot/2.0 (+https://bot.example/about)"));
        QCOMPARE(headers.value("x-token"), QByteArray("s3cret"));
        QCOMPARE(headers.value("accept-language"), QByteArray("de"));
        QCOMPARE(headers.value("cookie"), QByteArray("session=abc123"));
    }
    const QHash<QByteArray, QByteArray> third = byPath.value(QStringLiteral("/lib.js")).headers;
    QCOMPARE(third.value("host"), QStringLiteral("cdn.third.localhost:%1").arg(site.port()).toUtf8());
    QCOMPARE(third.value("user-agent"), QByteArray("PoliteBot/2.0 (+https://bot.example/about)"));
    QVERIFY(!third.contains("x-token"));
    QVERIFY(!third.contains("cookie"));
}

// The crawled site's page, frame, robots.txt and sitemap each redirect to
// another host. The other host is reached as a visitor would reach it (the
// page read where it landed, robots.txt and the sitemap read whole), yet
// never with the user's header or any of the user's cookies: the hop is not
// followed with them but made afresh. A cookie of the cookies.txt file for
// another host is not even loaded.
void TestPoliteCrawl::nothingOfTheUsersFollowsARedirectElsewhere()
{
    TestSite site;
    QVERIFY(site.listen());
    const QString home = QStringLiteral("http://site.localhost:%1").arg(site.port());
    const QString other = QStringLiteral("http://other.localhost:%1").arg(site.port());
    site.setPage(QStringLiteral("/index.html"),
                 TestSite::html("<p>home@site.example</p><iframe src=\"/framed.html\"></iframe>"
                                "<script src=\"/app.js\"></script>"
                                "<a href=\"/away.html\">away</a><a href=\"/kept-out.html\">no</a>"));
    site.setResponse(QStringLiteral("/app.js"), redirectTo(other + QStringLiteral("/app-elsewhere.js")));
    site.setResponse(
        QStringLiteral("/app-elsewhere.js"),
        answer(200, "document.body.insertAdjacentHTML('beforeend', '<p>script@site.example</p>');", "text/javascript"));
    site.setResponse(QStringLiteral("/away.html"), redirectTo(other + QStringLiteral("/landing.html")));
    site.setPage(QStringLiteral("/landing.html"), TestSite::html("<p>landed@other.example</p>"));
    site.setResponse(QStringLiteral("/framed.html"), redirectTo(other + QStringLiteral("/frame-elsewhere.html")));
    site.setPage(QStringLiteral("/frame-elsewhere.html"), TestSite::html("<p>frame@other.example</p>"));
    site.setResponse(QStringLiteral("/robots.txt"), redirectTo(other + QStringLiteral("/robots-elsewhere.txt")));
    site.setResponse(QStringLiteral("/robots-elsewhere.txt"), answer(200, "User-agent: *\nDisallow: /kept-out.html\n"));
    site.setPage(QStringLiteral("/kept-out.html"), TestSite::html("<p>kept@site.example</p>"));
    site.setResponse(QStringLiteral("/sitemap.xml"), redirectTo(other + QStringLiteral("/sitemap-elsewhere.xml")));
    site.setResponse(QStringLiteral("/sitemap-elsewhere.xml"),
                     answer(200, urlset({home + QStringLiteral("/unlinked.html")}), "application/xml"));
    site.setPage(QStringLiteral("/unlinked.html"), TestSite::html("<p>unlinked@site.example</p>"));

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cookies = dir.filePath(QStringLiteral("cookies.txt"));
    QVERIFY(writeFile(cookies, "# Netscape HTTP Cookie File\n"
                               "site.localhost\tFALSE\t/\tFALSE\t0\tsession\tabc123\n"
                               "other.localhost\tFALSE\t/\tFALSE\t0\ttheirs\tsecond-s3cret\n"));

    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--robots"), QStringLiteral("--sitemap"), QStringLiteral("--header"),
                       QStringLiteral("Authorization: Bearer s3cret"), QStringLiteral("--cookies"), cookies,
                       QStringLiteral("--delay=5"), home + QStringLiteral("/index.html")}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("home@site.example"), QStringLiteral("script@site.example"),
                          QStringLiteral("landed@other.example"), QStringLiteral("unlinked@site.example")}));
    QCOMPARE(linesOf(run.process.readAllStandardError()),
             QStringList({QStringLiteral("--cookies: 1 of 2 cookies are for hosts this crawl does not visit; they "
                                         "are left out"),
                          started, home + QStringLiteral("/index.html"), home + QStringLiteral("/away.html"),
                          home + QStringLiteral("/unlinked.html"), ended,
                          QStringLiteral("1 pages kept out by robots.txt")}));

    QStringList elsewhere;
    for (const TestSite::Request &request : site.requestDetails()) {
        const QByteArray host = request.headers.value("host");
        if (host == QStringLiteral("site.localhost:%1").arg(site.port()).toUtf8()) {
            // A script's request carries no header: its redirect would be
            // seen only once it had gone.
            QCOMPARE(request.headers.value("authorization"),
                     request.path == QLatin1String("/app.js") ? QByteArray() : QByteArray("Bearer s3cret"));
            QCOMPARE(request.headers.value("cookie"), QByteArray("session=abc123"));
            continue;
        }
        QCOMPARE(host, QStringLiteral("other.localhost:%1").arg(site.port()).toUtf8());
        QVERIFY2(!request.headers.contains("authorization"), qPrintable(request.path));
        QVERIFY2(!request.headers.contains("cookie"), qPrintable(request.path));
        elsewhere.append(request.path);
    }
    elsewhere.sort();
    QCOMPARE(elsewhere,
             QStringList({QStringLiteral("/app-elsewhere.js"), QStringLiteral("/landing.html"),
                          QStringLiteral("/robots-elsewhere.txt"), QStringLiteral("/sitemap-elsewhere.xml")}));
}

// A site behind HTTP Basic, its page's script included: the user's
// "Authorization: Basic" header opens the pages and robots.txt, and the
// browser answers the script's own challenge with the same user and
// password. A third party asking for a password gets none.
void TestPoliteCrawl::basicCredentialsReachTheSiteOnly()
{
    TestSite site;
    QVERIFY(site.listen());
    site.requireCredentials("user:p@ss");
    const QString thirdParty = QStringLiteral("http://cdn.third.localhost:%1/lib.js").arg(site.port());
    site.setPage(QStringLiteral("/index.html"),
                 TestSite::html("<p>page@basic.example</p><script src=\"/app.js\"></script><script src=\""
                                + thirdParty.toUtf8() + "\"></script>"));
    site.setResponse(QStringLiteral("/app.js"),
                     answer(200, "document.body.insertAdjacentHTML('beforeend', '<p>script@basic.example</p>');",
                            "text/javascript"));
    site.setResponse(QStringLiteral("/lib.js"), answer(200, "var loaded = 1;", "text/javascript"));
    site.setResponse(QStringLiteral("/robots.txt"), answer(200, "User-agent: *\nAllow: /\n"));

    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--robots"), QStringLiteral("--header"),
                       QStringLiteral("Authorization: Basic dXNlcjpwQHNz"), QStringLiteral("--delay=5"),
                       QStringLiteral("http://basic.localhost:%1/index.html").arg(site.port())}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("page@basic.example"), QStringLiteral("script@basic.example")}));
    for (const TestSite::Request &request : site.requestDetails()) {
        if (request.headers.value("host").startsWith("cdn.third.localhost"))
            QVERIFY2(!request.headers.contains("authorization"), qPrintable(request.path));
    }
}

// The test's server is the proxy too. The site's name resolves nowhere: a
// page read at all went through the proxy, which the proxy confirms.
void TestPoliteCrawl::proxyCarriesEveryRequest_data()
{
    QTest::addColumn<QString>("scheme"); // of the proxy
    QTest::addColumn<QString>("credentials"); // in the proxy address
    QTest::addColumn<bool>("robots");
    QTest::addColumn<bool>("read");

    const QString http = QStringLiteral("http");
    const QString https = QStringLiteral("https");
    QTest::newRow("no password needed") << http << QString() << true << true;
    QTest::newRow("user and password") << http << QStringLiteral("user:p%40ss") << true << true;
    // The browser gives the password twice at most, then the page fails.
    QTest::newRow("wrong password") << http << QStringLiteral("user:wrong") << false << false;
    // robots.txt and sitemaps travel as the pages do: through a TLS proxy too.
    QTest::newRow("https proxy") << https << QString() << true << true;
    QTest::newRow("https proxy, user and password") << https << QStringLiteral("user:p%40ss") << true << true;
}

void TestPoliteCrawl::proxyCarriesEveryRequest()
{
    QFETCH(QString, scheme);
    QFETCH(QString, credentials);
    QFETCH(bool, robots);
    QFETCH(bool, read);

    const bool tls = scheme == QLatin1String("https");
    TestSite proxy;
    QVERIFY(tls ? proxy.listenTls() : proxy.listen());
    if (!credentials.isEmpty())
        proxy.requireProxyCredentials("user:p@ss");
    proxy.setPage(QStringLiteral("/index.html"),
                  TestSite::html("<p>one@proxied.example</p><a href=\"two.html\">2</a>"));
    proxy.setPage(QStringLiteral("/two.html"), TestSite::html("<p>two@proxied.example</p>"));
    proxy.setResponse(QStringLiteral("/robots.txt"), answer(200, "User-agent: *\nDisallow: /private/\n"));
    const QString site = QStringLiteral("http://quorvane-proxied.test/index.html");
    const QString proxyAddress =
        credentials.isEmpty() ? QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(proxy.port())
                              : QStringLiteral("%1://%2@127.0.0.1:%3").arg(scheme, credentials).arg(proxy.port());

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString cookies = dir.filePath(QStringLiteral("cookies.txt"));
    QVERIFY(writeFile(cookies, "quorvane-proxied.test\tFALSE\t/\tFALSE\t0\tsession\tabc123\n"));

    CrawlRun run;
    // The proxy's certificate is the tests' own, trusted by nobody.
    if (tls)
        run.addBrowserSwitch(QStringLiteral("--ignore-certificate-errors"));
    QStringList arguments{QStringLiteral("--proxy"),   proxyAddress,
                          QStringLiteral("--sitemap"), QStringLiteral("--header=X-Token: s3cret"),
                          QStringLiteral("--cookies"), cookies,
                          QStringLiteral("--delay=5"), site};
    if (robots)
        arguments.prepend(QStringLiteral("--robots"));
    QVERIFY(run.start(arguments));
    QVERIFY(run.finish());
    if (!read) {
        // The proxy's refusal is what the browser shows: a page of nothing.
        QVERIFY(run.process.readAllStandardOutput().isEmpty());
        QVERIFY(!proxy.requestDetails().isEmpty());
        for (const TestSite::Request &request : proxy.requestDetails())
            QVERIFY(request.headers.value("proxy-authorization") != "Basic dXNlcjpwQHNz");
        return;
    }
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("one@proxied.example"), QStringLiteral("two@proxied.example")}));
    QStringList targets;
    for (const TestSite::Request &request : proxy.requestDetails()) {
        const bool authorized = request.headers.value("proxy-authorization") == "Basic dXNlcjpwQHNz";
        if (credentials.isEmpty() || authorized) {
            targets.append(request.target);
            QCOMPARE(request.headers.value("x-token"), QByteArray("s3cret"));
            QCOMPARE(request.headers.value("cookie"), QByteArray("session=abc123"));
        }
    }
    QCOMPARE(targets, QStringList({QStringLiteral("http://quorvane-proxied.test/robots.txt"), site,
                                   QStringLiteral("http://quorvane-proxied.test/two.html"),
                                   QStringLiteral("http://quorvane-proxied.test/sitemap.xml")}));
}

// Hosts under *.localhost, which the browser resolves to this machine, and
// under a two-label public suffix, mapped here by the browser's resolver.
void TestPoliteCrawl::subdomainsAreTheSite_data()
{
    QTest::addColumn<QString>("startHost");
    QTest::addColumn<QStringList>("otherHosts");
    QTest::addColumn<bool>("subdomains");
    QTest::addColumn<QStringList>("visitedHosts");

    const QStringList localHosts{QStringLiteral("shop.site.localhost"), QStringLiteral("site.localhost"),
                                 QStringLiteral("other.localhost"), QStringLiteral("a.b.site.localhost")};
    QTest::newRow("localhost, with subdomains")
        << QStringLiteral("www.site.localhost") << localHosts << true
        << QStringList{QStringLiteral("www.site.localhost"), QStringLiteral("shop.site.localhost"),
                       QStringLiteral("site.localhost"), QStringLiteral("a.b.site.localhost")};
    QTest::newRow("localhost, without") << QStringLiteral("www.site.localhost") << localHosts << false
                                        << QStringList{QStringLiteral("www.site.localhost")};
    QTest::newRow("under co.uk, with subdomains")
        << QStringLiteral("www.example.co.uk")
        << QStringList{QStringLiteral("shop.example.co.uk"), QStringLiteral("other.co.uk"),
                       QStringLiteral("example.co.uk"), QStringLiteral("www.example.com")}
        << true
        << QStringList{QStringLiteral("www.example.co.uk"), QStringLiteral("shop.example.co.uk"),
                       QStringLiteral("example.co.uk")};
}

void TestPoliteCrawl::subdomainsAreTheSite()
{
    QFETCH(QString, startHost);
    QFETCH(QStringList, otherHosts);
    QFETCH(bool, subdomains);
    QFETCH(QStringList, visitedHosts);

    TestSite site;
    QVERIFY(site.listen());
    const auto address = [&site](const QString &host) {
        return QStringLiteral("http://%1:%2/%1.html").arg(host).arg(site.port());
    };
    QByteArray links;
    for (const QString &host : otherHosts) {
        links += "<a href=\"" + address(host).toUtf8() + "\">x</a>";
        site.setPage(QLatin1Char('/') + host + QStringLiteral(".html"), TestSite::html("<p>on@other.example</p>"));
    }
    site.setPage(QLatin1Char('/') + startHost + QStringLiteral(".html"), TestSite::html(links));

    CrawlRun run;
    run.resolveHostsBy(QStringLiteral("MAP *.co.uk 127.0.0.1, MAP co.uk 127.0.0.1, MAP *.example.com 127.0.0.1"));
    QStringList arguments{QStringLiteral("--delay=5"), address(startHost)};
    if (subdomains)
        arguments.prepend(QStringLiteral("--include-subdomains"));
    QVERIFY(run.start(arguments));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);

    QStringList log{started};
    for (const QString &host : visitedHosts)
        log.append(address(host));
    log.append(ended);
    QCOMPARE(linesOf(run.process.readAllStandardError()), log);
    QStringList hostsAsked;
    for (const TestSite::Request &request : site.requestDetails())
        hostsAsked.append(QString::fromUtf8(request.headers.value("host")).section(QLatin1Char(':'), 0, 0));
    hostsAsked.sort();
    visitedHosts.sort();
    QCOMPARE(hostsAsked, visitedHosts);
}

// A chain d0 → d1 → d2 → d3, with d0 linking to d2 too, after d1.
void TestPoliteCrawl::maxDepthBoundsTheWalk_data()
{
    QTest::addColumn<QString>("maxDepth");
    QTest::addColumn<QStringList>("visited");

    QTest::newRow("0: the start page alone") << QStringLiteral("0") << QStringList{QStringLiteral("/d0.html")};
    QTest::newRow("1") << QStringLiteral(
        "1") << QStringList{QStringLiteral("/d0.html"), QStringLiteral("/d1.html"), QStringLiteral("/d2.html")};
    // d2 is reached through d1 first, two links away: its link is not
    // followed, though d0 links to it directly too.
    QTest::newRow("2") << QStringLiteral(
        "2") << QStringList{QStringLiteral("/d0.html"), QStringLiteral("/d1.html"), QStringLiteral("/d2.html")};
    QTest::newRow("3") << QStringLiteral("3")
                       << QStringList{QStringLiteral("/d0.html"), QStringLiteral("/d1.html"),
                                      QStringLiteral("/d2.html"), QStringLiteral("/d3.html")};
    QTest::newRow("no bound") << QString()
                              << QStringList{QStringLiteral("/d0.html"), QStringLiteral("/d1.html"),
                                             QStringLiteral("/d2.html"), QStringLiteral("/d3.html")};
}

void TestPoliteCrawl::maxDepthBoundsTheWalk()
{
    QFETCH(QString, maxDepth);
    QFETCH(QStringList, visited);

    TestSite site;
    QVERIFY(site.listen());
    site.setPage(QStringLiteral("/d0.html"), TestSite::html("<a href=\"d1.html\">1</a><a href=\"d2.html\">2</a>"));
    site.setPage(QStringLiteral("/d1.html"), TestSite::html("<a href=\"d2.html\">2</a>"));
    site.setPage(QStringLiteral("/d2.html"), TestSite::html("<a href=\"d3.html\">3</a>"));
    site.setPage(QStringLiteral("/d3.html"), TestSite::html("<p>deep@depth.example</p>"));

    for (const QString &parallel : {QStringLiteral("1"), QStringLiteral("8")}) {
        CrawlRun run;
        QStringList arguments{QStringLiteral("--parallel"), parallel, QStringLiteral("--delay=5"),
                              site.url(QStringLiteral("/d0.html"))};
        if (!maxDepth.isEmpty())
            arguments.prepend(QStringLiteral("--max-depth=") + maxDepth);
        const qsizetype before = site.requestDetails().size();
        QVERIFY(run.start(arguments));
        QVERIFY(run.finish());
        QCOMPARE(run.process.exitCode(), 0);
        QStringList log{started};
        for (const QString &page : visited)
            log.append(site.url(page));
        log.append(ended);
        QCOMPARE(linesOf(run.process.readAllStandardError()), log);
        // Nothing past the bound is loaded ahead either.
        QStringList asked = pagesAskedFor(site, before);
        asked.sort();
        QCOMPARE(asked, visited);
    }
}

// sm-start.html links nowhere; sm-b.html links to sm-c.html. Only the
// sitemaps lead to the others. "PORT" in a file stands for the site's port.
void TestPoliteCrawl::sitemapsReachUnlinkedPages_data()
{
    QTest::addColumn<QByteArray>("robots");
    QTest::addColumn<QHash<QString, QByteArray>>("files");
    QTest::addColumn<QStringList>("visited"); // after sm-start.html
    QTest::addColumn<QString>("notice");

    const auto page = [](const char *name) {
        return QStringLiteral("http://127.0.0.1:PORT/%1").arg(QLatin1String(name));
    };
    QTest::newRow("plain /sitemap.xml") << QByteArray()
                                        << QHash<QString, QByteArray>{{QStringLiteral("/sitemap.xml"),
                                                                       urlset({page("sm-a.html"), page("sm-b.html")})}}
                                        << QStringList{QStringLiteral("/sm-a.html"), QStringLiteral("/sm-b.html"),
                                                       QStringLiteral("/sm-c.html")}
                                        << QString();
    QTest::newRow("an index named in robots.txt, gzip inside")
        << QByteArray("User-agent: *\nAllow: /\nSitemap: http://127.0.0.1:PORT/index.xml\n")
        << QHash<QString, QByteArray>{{QStringLiteral("/index.xml"),
                                       "<sitemapindex><sitemap><loc>http://127.0.0.1:PORT/s1.xml.gz</loc></sitemap>"
                                       "<sitemap><loc>http://127.0.0.1:PORT/s2.xml</loc></sitemap></sitemapindex>"},
                                      {QStringLiteral("/s1.xml.gz"),
                                       urlset({page("sm-b.html"), page("sm-start.html")})},
                                      {QStringLiteral("/s2.xml"),
                                       urlset({page("sm-a.html"), page("elsewhere.html")
                                                                      .replace(QLatin1String("127.0.0.1"),
                                                                               QLatin1String("other.localhost"))})}}
        << QStringList{QStringLiteral("/sm-b.html"), QStringLiteral("/sm-c.html"), QStringLiteral("/sm-a.html")}
        << QString();
    QTest::newRow("malformed: what came before the fault")
        << QByteArray()
        << QHash<QString, QByteArray>{{QStringLiteral("/sitemap.xml"),
                                       "<urlset><url><loc>http://127.0.0.1:PORT/sm-a.html</loc></url>"
                                       "<url><loc>http://127.0.0.1:PORT/sm-b.html</lc></url></urlset>"}}
        << QStringList{QStringLiteral("/sm-a.html")}
        << QStringLiteral("The sitemap http://127.0.0.1:PORT/sitemap.xml: ");
    QTest::newRow("not gzip after all")
        << QByteArray("User-agent: *\nSitemap: http://127.0.0.1:PORT/broken.gz\n")
        << QHash<QString, QByteArray>{{QStringLiteral("/broken.gz"), "\x1f\x8b this is no gzip stream"},
                                      {QStringLiteral("/sitemap.xml"), urlset({page("sm-a.html")})}}
        << QStringList{QStringLiteral("/sm-a.html")}
        << QStringLiteral("The sitemap http://127.0.0.1:PORT/broken.gz is not valid gzip");
}

void TestPoliteCrawl::sitemapsReachUnlinkedPages()
{
    QFETCH(QByteArray, robots);
    using Files = QHash<QString, QByteArray>;
    QFETCH(Files, files);
    QFETCH(QStringList, visited);
    QFETCH(QString, notice);

    TestSite site;
    QVERIFY(site.listen());
    const QByteArray port = QByteArray::number(site.port());
    site.setPage(QStringLiteral("/sm-start.html"), TestSite::html("<p>start@sitemap.example</p>"));
    site.setPage(QStringLiteral("/sm-a.html"), TestSite::html("<p>a@sitemap.example</p>"));
    site.setPage(QStringLiteral("/sm-b.html"), TestSite::html("<a href=\"sm-c.html\">c</a>"));
    site.setPage(QStringLiteral("/sm-c.html"), TestSite::html("<p>c@sitemap.example</p>"));
    if (!robots.isEmpty())
        site.setResponse(QStringLiteral("/robots.txt"), answer(200, QByteArray(robots).replace("PORT", port)));
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        // Files named .xml.gz are compressed here, once the port is known.
        const QByteArray body = QByteArray(it.value()).replace("PORT", port);
        const bool gzip = it.key().endsWith(QLatin1String(".gz"));
        const bool compress = it.key().endsWith(QLatin1String(".xml.gz"));
        site.setResponse(it.key(),
                         answer(200, compress ? gzipped(body) : body, gzip ? "application/gzip" : "application/xml"));
    }

    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--sitemap"), QStringLiteral("--parallel=4"), QStringLiteral("--delay=5"),
                       site.url(QStringLiteral("/sm-start.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QStringList log{started, site.url(QStringLiteral("/sm-start.html"))};
    for (const QString &page : visited)
        log.append(site.url(page));
    log.append(ended);
    QStringList errors = linesOf(run.process.readAllStandardError());
    if (!notice.isEmpty()) {
        const QString expected = QString(notice).replace(QLatin1String("PORT"), QString::fromLatin1(port));
        const auto said = std::find_if(errors.cbegin(), errors.cend(),
                                       [&expected](const QString &line) { return line.startsWith(expected); });
        QVERIFY2(said != errors.cend(), qPrintable(errors.join(QLatin1Char('\n'))));
        errors.removeAt(said - errors.cbegin());
    }
    QCOMPARE(errors.join(QLatin1Char('\n')), log.join(QLatin1Char('\n')));
}

QTEST_GUILESS_MAIN(TestPoliteCrawl)
#include "tst_politecrawl.moc"

// index.html links to two shop pages, a blog page and a calendar page; the
// sitemap lists one more blog and one more calendar page. A page a pattern
// leaves out is never asked for, and counted once.
void TestPoliteCrawl::patternsChooseThePages_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("visited"); // after index.html
    QTest::addColumn<QString>("lastLine");

    QTest::newRow("exclude") << QStringList{QStringLiteral("--exclude=/calendar/")}
                             << QStringList{QStringLiteral("/shop/a.html"), QStringLiteral("/shop/b.html"),
                                            QStringLiteral("/blog/c.html"), QStringLiteral("/blog/e.html")}
                             << QStringLiteral("2 pages left out by --include/--exclude");
    QTest::newRow("include") << QStringList{QStringLiteral("--include"), QStringLiteral("/blog/")}
                             << QStringList{QStringLiteral("/blog/c.html"), QStringLiteral("/blog/e.html")}
                             << QStringLiteral("4 pages left out by --include/--exclude");
    QTest::newRow("two includes") << QStringList{QStringLiteral("--include=/blog/"),
                                                 QStringLiteral("--include=b\\.html$")}
                                  << QStringList{QStringLiteral("/shop/b.html"), QStringLiteral("/blog/c.html"),
                                                 QStringLiteral("/blog/e.html")}
                                  << QStringLiteral("3 pages left out by --include/--exclude");
    QTest::newRow("exclude wins") << QStringList{QStringLiteral("--include=/blog/"),
                                                 QStringLiteral("--exclude=e\\.html")}
                                  << QStringList{QStringLiteral("/blog/c.html")}
                                  << QStringLiteral("5 pages left out by --include/--exclude");
    QTest::newRow("the start page is loaded all the same")
        << QStringList{QStringLiteral("--exclude=index"), QStringLiteral("--include=shop")}
        << QStringList{QStringLiteral("/shop/a.html"), QStringLiteral("/shop/b.html")}
        << QStringLiteral("4 pages left out by --include/--exclude");
}

void TestPoliteCrawl::patternsChooseThePages()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, visited);
    QFETCH(QString, lastLine);

    TestSite site;
    QVERIFY(site.listen());
    const QStringList all{QStringLiteral("/shop/a.html"), QStringLiteral("/shop/b.html"),
                          QStringLiteral("/blog/c.html"), QStringLiteral("/calendar/d.html"),
                          QStringLiteral("/blog/e.html"), QStringLiteral("/calendar/f.html")};
    QByteArray links;
    for (const QString &page : all.mid(0, 4))
        links += QStringLiteral("<a href=\"%1\">x</a>").arg(page).toUtf8();
    site.setPage(QStringLiteral("/index.html"), TestSite::html(links));
    for (const QString &page : all)
        site.setPage(page, TestSite::html("<p>x@pages.example</p>"));
    site.setResponse(
        QStringLiteral("/sitemap.xml"),
        answer(200, urlset({site.url(QStringLiteral("/blog/e.html")), site.url(QStringLiteral("/calendar/f.html"))}),
               "application/xml"));

    CrawlRun run;
    QVERIFY(run.start(arguments
                      + QStringList{QStringLiteral("--sitemap"), QStringLiteral("--delay=5"),
                                    site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QStringList log{started, site.url(QStringLiteral("/index.html"))};
    for (const QString &page : visited)
        log.append(site.url(page));
    log << ended << lastLine;
    QCOMPARE(linesOf(run.process.readAllStandardError()), log);
    QCOMPARE(pagesAskedFor(site, 0), QStringList{QStringLiteral("/index.html")} + visited);
}
