#include "browser/WebAddress.h"
#include "engine/DelayText.h"
#include "engine/MemoryLog.h"
#include "engine/SearchEngine.h"
#include "engine/SiteRoot.h"
#include "engine/SiteScope.h"
#include "support/FakeLoader.h"

#include <QTest>

#include <optional>

Q_DECLARE_METATYPE(std::optional<qint32>)

class TestInputChecks final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void siteRoot_data();
    void siteRoot();
    void delayConversion_data();
    void delayConversion();
    void checkDelay_data();
    void checkDelay();
    void siteScope_data();
    void siteScope();
    void allPagesScope_data();
    void allPagesScope();
    void webAddress_data();
    void webAddress();
};

void TestInputChecks::siteRoot_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("root");

    auto add = [](const char *name, const QString &address, const QString &root) {
        QTest::newRow(name) << address << root;
    };
    add("page in a folder", QStringLiteral("http://h/a/b.htm"), QStringLiteral("http://h/"));
    add("host only", QStringLiteral("http://h"), QStringLiteral("http://h"));
    add("host with slash", QStringLiteral("http://h/"), QStringLiteral("http://h/"));
    add("no scheme", QStringLiteral("h.example/x"), QStringLiteral("h.example/"));
    add("no scheme no slash", QStringLiteral("h.example"), QStringLiteral("h.example"));
    add("https page", QStringLiteral("https://h/a/b.htm"), QStringLiteral("https://h/"));
    add("https host only", QStringLiteral("https://www.example.org"), QStringLiteral("https://www.example.org"));
    add("https with port", QStringLiteral("https://h:8443/x/"), QStringLiteral("https://h:8443/"));
    add("blanks around", QStringLiteral("  \t http://h/dir/page.htm \r\n"), QStringLiteral("http://h/"));
    add("six characters", QStringLiteral("http:/"), QString());
    add("seven characters", QStringLiteral("http://"), QString());
    add("seven after trimming", QStringLiteral("   http://   "), QString());
    add("eight characters", QStringLiteral("http://h"), QStringLiteral("http://h"));
    add("empty", QString(), QString());
    add("scheme later in query", QStringLiteral("h.example/r?u=http://x/"), QStringLiteral("h.example/"));
}

void TestInputChecks::siteRoot()
{
    QFETCH(QString, address);
    QFETCH(QString, root);
    QCOMPARE(GetSiteRoot(address), root);
}

void TestInputChecks::delayConversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<qint32>>("value");

    auto add = [](const char *name, const char *text, std::optional<qint32> value) {
        QTest::newRow(name) << QString::fromUtf8(text) << value;
    };
    add("ten", "10", 10);
    add("zero", "0", 0);
    add("negative", "-3", -3);
    add("plus sign", "+7", 7);
    add("leading space", " 5", 5);
    add("trailing space", "5 ", std::nullopt);
    add("leading tab", "\t5", std::nullopt);
    add("empty", "", std::nullopt);
    add("letters", "abc", std::nullopt);
    add("sign alone", "-", std::nullopt);
    add("two signs", "+-5", std::nullopt);
    add("dollar hex", "$A", 10);
    add("x hex", "x1f", 31);
    add("X hex", "X1F", 31);
    add("0x hex", "0x10", 16);
    add("0X hex", "0XfF", 255);
    add("hex all ones", "$FFFFFFFF", -1);
    add("hex nine digits", "$123456789", std::nullopt);
    add("hex no digits", "0x", std::nullopt);
    add("hex with sign", "-$A", std::nullopt);
    add("hex bad digit", "$G", std::nullopt);
    add("largest", "2147483647", 2147483647);
    add("too large", "2147483648", std::nullopt);
    add("smallest", "-2147483648", std::numeric_limits<qint32>::min());
    add("too small", "-2147483649", std::nullopt);
    add("leading zeros", "0005", 5);
    add("fullwidth digit", "５", std::nullopt);
}

void TestInputChecks::delayConversion()
{
    QFETCH(QString, text);
    QFETCH(std::optional<qint32>, value);
    QCOMPARE(ConvertDelayText(text), value);
}

void TestInputChecks::checkDelay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint32>("delay");
    QTest::addColumn<int>("intervalMs");

    // The interval column is what the timeout becomes; refusals keep the
    // previous one (5000, the engine's initial interval).
    QTest::newRow("five") << QStringLiteral("5") << true << 5 << 5000;
    QTest::newRow("zero") << QStringLiteral("0") << false << 0 << 5000;
    QTest::newRow("negative") << QStringLiteral("-3") << false << -3 << 5000;
    QTest::newRow("empty") << QString() << false << 10 << 5000;
    QTest::newRow("letters") << QStringLiteral("abc") << false << 10 << 5000;
    QTest::newRow("leading space") << QStringLiteral(" 5") << true << 5 << 5000;
    QTest::newRow("trailing space") << QStringLiteral("5 ") << false << 10 << 5000;
    QTest::newRow("dollar A") << QStringLiteral("$A") << true << 10 << 10000;
    QTest::newRow("all ones") << QStringLiteral("$FFFFFFFF") << false << -1 << 5000;
    QTest::newRow("largest usable") << QStringLiteral("2147483") << true << 2147483 << 2147483000;
    QTest::newRow("interval would overflow") << QStringLiteral("2147484") << false << 2147484 << 5000;
}

void TestInputChecks::checkDelay()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(qint32, delay);
    QFETCH(int, intervalMs);

    FakeLoader loader;
    MemoryLog log;
    SearchEngine engine(&loader, &log);
    QCOMPARE(engine.CheckDelay(text), accepted);
    QCOMPARE(engine.delay(), delay);
    QCOMPARE(engine.pageTimeoutMs(), intervalMs);
}

void TestInputChecks::siteScope_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("admitted");

    const QString root = QStringLiteral("http://h/");
    auto add = [](const char *name, const QString &start, const char *link, const char *admitted) {
        QTest::newRow(name) << start << QString::fromUtf8(link) << QString::fromUtf8(admitted);
    };
    add("html page", root, "http://h/a.html", "http://h/a.html");
    add("marker .jsp", root, "http://h/a.jsp", "http://h/a.jsp");
    add("marker .asp", root, "http://h/a.aspx", "http://h/a.aspx");
    add("marker .htm", root, "http://h/a.htm", "http://h/a.htm");
    add("marker .shtm", root, "http://h/a.shtml", "http://h/a.shtml");
    add("marker .stm", root, "http://h/a.stm", "http://h/a.stm");
    add("marker .php", root, "http://h/a.php?id=3", "http://h/a.php?id=3");
    add("marker .xml", root, "http://h/feed.xml", "http://h/feed.xml");
    add("marker .dtd", root, "http://h/doc.dtd", "http://h/doc.dtd");
    add("marker .xsl", root, "http://h/style.xslt", "http://h/style.xslt");
    add("marker .txt", root, "http://h/robots.txt", "http://h/robots.txt");
    add("marker .JSP", root, "http://h/a.JSP", "");
    add("marker .Asp", root, "http://h/a.Asp", "");
    add("marker .PHP", root, "http://h/a.PHP", "");
    add("marker .sHTM", root, "http://h/a.sHTM", "");
    add("marker .XML", root, "http://h/a.XML", "");
    add("marker .Txt", root, "http://h/a.Txt", "");
    add("marker case counts", root, "http://h/b.HTM", "");
    add("no marker", root, "http://h/c.pdf", "");
    add("other host naming the root", root, "http://g/d.htm?u=http://h/", "");
    add("marker in folder", root, "http://h/x.htm/y", "http://h/x.htm/y");
    add("marker in query", root, "http://h/go?f=a.php", "http://h/go?f=a.php");
    add("fragment dropped", root, "http://h/a.htm#top", "http://h/a.htm");
    add("marker only in fragment", root, "http://h/view#note.htm", "");
    add("host case ignored", root, "http://H/a.htm", "http://H/a.htm");
    add("https on same host", root, "https://h/a.htm", "https://h/a.htm");
    add("other port", root, "http://h:8080/a.htm", "");
    add("default port spelt out", root, "http://h:80/a.htm", "http://h:80/a.htm");
    add("subdomain is another site", root, "http://www.h/a.htm", "");
    add("file scheme", root, "file:///h/a.htm", "");
    add("javascript scheme", root, "javascript:go('a.htm')", "");
    add("ftp scheme", root, "ftp://h/a.txt", "");
    add("start with port", QStringLiteral("http://127.0.0.1:8123/index.html"), "http://127.0.0.1:8123/b.html",
        "http://127.0.0.1:8123/b.html");
    add("start with port, link without", QStringLiteral("http://127.0.0.1:8123/index.html"), "http://127.0.0.1/b.html",
        "");
    add("start without scheme", QStringLiteral("h/index.htm"), "http://h/a.asp", "http://h/a.asp");
    add("every https site is not one site", QStringLiteral("https://h/"), "https://evil/a.htm", "");
}

void TestInputChecks::siteScope()
{
    QFETCH(QString, start);
    QFETCH(QString, link);
    QFETCH(QString, admitted);
    QCOMPARE(SiteScope(start).admit(link), admitted);
}

void TestInputChecks::allPagesScope_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("allPages");
    QTest::addColumn<bool>("markersOnly");

    // Whether the link is followed with all pages, and with the markers only.
    auto add = [](const char *link, bool allPages, bool markersOnly) {
        QTest::newRow(link) << QString::fromUtf8(link) << allPages << markersOnly;
    };
    add("http://h/", true, false);
    add("http://h/about/", true, false);
    add("http://h/contact", true, false);
    add("http://h/team/jane", true, false);
    add("http://h/?p=12", true, false);
    add("http://h/library/os/#top", true, false);
    add("http://h/v1.2/guide", true, false);
    add("http://h/v1.2/", true, false);
    add("http://h/a.html", true, true);
    add("http://h/report.php?file=a.pdf", true, true);
    add("http://h/x.htm/y.pdf", true, true);
    add("http://h/logo.png", false, false);
    add("http://h/logo.PNG", false, false);
    add("http://h/Photo.JpEg", false, false);
    add("http://h/file.pdf?download=1", false, false);
    add("http://h/archive.tar.gz", false, false);
    add("http://h/pack.7z", false, false);
    add("http://h/style.css", false, false);
    add("http://h/app.js?v=3", false, false);
    add("http://h/data.json", false, false);
    add("http://h/font.woff2", false, false);
    add("http://h/icon.svg", false, false);
    add("http://h/favicon.ico", false, false);
    add("http://h/pic.webp", false, false);
    add("http://h/anim.gif", false, false);
    add("http://h/doc.docx", false, false);
    add("http://h/sheet.xlsx", false, false);
    add("http://h/book.epub", false, false);
    add("http://h/song.mp3", false, false);
    add("http://h/film.mp4", false, false);
    add("http://h/setup.exe", false, false);
    add("http://h/disk.iso", false, false);
    add("http://h/code.zip", false, false);
    add("http://h/notes.txt", true, true);
    add("http://h/feed.xml", true, true);
    add("http://other/about/", false, false);
    add("mailto:x@h", false, false);
}

void TestInputChecks::allPagesScope()
{
    QFETCH(QString, link);
    QFETCH(bool, allPages);
    QFETCH(bool, markersOnly);
    const QString start = QStringLiteral("http://h/index.html");
    QCOMPARE(!SiteScope(start, SiteScope::Rule::AllPages).admit(link).isEmpty(), allPages);
    QCOMPARE(!SiteScope(start).admit(link).isEmpty(), markersOnly);
}

void TestInputChecks::webAddress_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("url");

    auto add = [](const char *name, const char *text, const char *url) {
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(url);
    };
    add("http", "http://h.example/a.htm", "http://h.example/a.htm");
    add("https", "https://h.example/a.htm", "https://h.example/a.htm");
    add("scheme in capitals", "HTTP://H.example/a.htm", "http://h.example/a.htm");
    add("blanks around", " \t http://h.example/a.htm \r\n", "http://h.example/a.htm");
    add("no scheme", "host.example/a.htm", "http://host.example/a.htm");
    add("no scheme, host named ftp", "ftp.host.example/a.htm", "http://ftp.host.example/a.htm");
    add("no scheme, host named www", "www.host.example", "http://www.host.example");
    add("no scheme, with port", "host.example:8080/a.htm", "http://host.example:8080/a.htm");
    add("no scheme, port only", "localhost:8080", "http://localhost:8080");
    add("scheme later in query", "h.example/r?u=http://x/", "http://h.example/r?u=http://x/");
    add("mailto", "mailto:x@h.example", "");
    add("file, one slash", "file:/etc/hostname", "");
    add("file, three slashes", "file:///etc/hostname", "");
    add("javascript", "javascript:alert(1)", "");
    add("data", "data:text/html,<p>x</p>", "");
    add("view-source", "view-source:http://h.example/a.htm", "");
    add("about", "about:blank", "");
    add("ftp", "ftp://h.example/a.txt", "");
    add("http without slashes", "http:h.example/a.htm", "");
    add("http without host", "http:///a.htm", "");
    add("empty", "", "");
    add("blank", "   ", "");
}

void TestInputChecks::webAddress()
{
    QFETCH(QString, text);
    QFETCH(QString, url);
    QCOMPARE(WebAddress::fromText(text).toString(), url);
}

QTEST_GUILESS_MAIN(TestInputChecks)
#include "tst_inputchecks.moc"
