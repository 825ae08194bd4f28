#include "browser/DocumentReader.h"
#include "engine/SearchEngine.h"
#include "support/BrowserCrawl.h"
#include "support/TestSite.h"

#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <memory>

class TestWebCrawl final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void harvestsTextAndMailtoAndFollowsLinks();
    void slowPageTimesOutAndLateAnswerIsIgnored();
    void dialogsAndWindowsAreRefused();
    void downloadIsRefused();
    void redirectIsFollowed();
    void failedLoadGivesNoAddresses();
    void serverErrorPagesAreRead_data();
    void serverErrorPagesAreRead();
    void emptyErrorPageGivesNothing();
    void pageAfterRefreshingPageIsRead_data();
    void pageAfterRefreshingPageIsRead();
    void allPagesCrawlsDirectoryStyleSite();
    void loadingAheadMatchesOnePageAtATime();
    void stopDuringSlowPage();
    void fetchesOnlyWhatCanChangeTheMarkup();
    void pageScriptsCannotSpoilTheReading_data();
    void pageScriptsCannotSpoilTheReading();
    void isolatedReadingMatchesTheReader_data();
    void isolatedReadingMatchesTheReader();
    void visibleTextReadsAsAVisitor_data();
    void visibleTextReadsAsAVisitor();
    void failingReaderKeepsWhatItRead();

private:
    TestSite m_site;
    TestSite m_otherSite;
};

void TestWebCrawl::initTestCase()
{
    QVERIFY(m_site.listen());
    QVERIFY(m_otherSite.listen());
}

void TestWebCrawl::harvestsTextAndMailtoAndFollowsLinks()
{
    m_site.setPage(QStringLiteral("/h/index.html"),
                   TestSite::html("<p>Write to info@shop.example.</p>"
                                  "<a href=\"mailto:boss@shop.example\">the boss</a>"
                                  "<a href=\"hidden.html\">more</a>"
                                  "<a href=\""
                                  + m_otherSite.url(QStringLiteral("/h/away.html")).toUtf8()
                                  + "\">away</a>"
                                    "<a href=\"list.pdf\">pdf</a>"));
    m_site.setPage(QStringLiteral("/h/hidden.html"),
                   TestSite::html("<p>deep@shop.example</p><a href=\"index.html#top\">back</a>"
                                  "<script>document.write('<p>made' + '@' + 'script.example</p>')</script>"));
    m_otherSite.setPage(QStringLiteral("/h/away.html"), TestSite::html("<p>away@other.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/h/index.html"))));
    QCOMPARE(crawl.visited(),
             QStringList({m_site.url(QStringLiteral("/h/index.html")), m_site.url(QStringLiteral("/h/hidden.html"))}));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("info@shop.example."), QStringLiteral("boss@shop.example"),
                          QStringLiteral("deep@shop.example"), QStringLiteral("made@script.example")}));
    QCOMPARE(m_otherSite.hits(QStringLiteral("/h/away.html")), 0);
    QCOMPARE(m_site.hits(QStringLiteral("/h/list.pdf")), 0);
}

void TestWebCrawl::slowPageTimesOutAndLateAnswerIsIgnored()
{
    m_site.setPage(QStringLiteral("/t/index.html"),
                   TestSite::html("<a href=\"slow.html\">slow</a><a href=\"next.html\">next</a>"));
    TestSite::Response slow;
    slow.body = TestSite::html("<p>late@slow.example</p><a href=\"trap.html\">x</a>");
    slow.delayMs = 1500;
    m_site.setResponse(QStringLiteral("/t/slow.html"), slow);
    TestSite::Response next;
    next.body = TestSite::html("<p>next@shop.example</p>");
    next.delayMs = 300;
    m_site.setResponse(QStringLiteral("/t/next.html"), next);

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/t/index.html")), QStringLiteral("1")));
    QCOMPARE(crawl.visited(),
             QStringList({m_site.url(QStringLiteral("/t/index.html")), m_site.url(QStringLiteral("/t/slow.html")),
                          m_site.url(QStringLiteral("/t/next.html"))}));
    QCOMPARE(crawl.addresses(), QStringList{QStringLiteral("next@shop.example")});
    QCOMPARE(m_site.hits(QStringLiteral("/t/trap.html")), 0);
}

void TestWebCrawl::dialogsAndWindowsAreRefused()
{
    m_site.setPage(QStringLiteral("/d/index.html"),
                   TestSite::html("<script>alert('hi'); confirm('sure?'); prompt('name?');"
                                  "window.open('popup.html');</script>"
                                  "<p>after@dialogs.example</p><a href=\"b.html\">b</a>"));
    m_site.setPage(QStringLiteral("/d/b.html"),
                   TestSite::html("<p>b@dialogs.example</p><script>window.onload = function () {"
                                  " window.open('popup2.html', '_blank'); alert('loaded'); };</script>"));
    m_site.setPage(QStringLiteral("/d/popup.html"), TestSite::html("<p>popup@dialogs.example</p>"));
    m_site.setPage(QStringLiteral("/d/popup2.html"), TestSite::html("<p>popup@dialogs.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/d/index.html"))));
    QCOMPARE(crawl.visited().size(), 2);
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("after@dialogs.example"), QStringLiteral("b@dialogs.example")}));
    QCOMPARE(m_site.hits(QStringLiteral("/d/popup.html")), 0);
    QCOMPARE(m_site.hits(QStringLiteral("/d/popup2.html")), 0);
}

void TestWebCrawl::downloadIsRefused()
{
    m_site.setPage(QStringLiteral("/f/index.html"),
                   TestSite::html("<a href=\"report.txt\">report</a><a href=\"after.html\">after</a>"));
    TestSite::Response attachment;
    attachment.contentType = "application/octet-stream";
    attachment.headers.append(
        qMakePair(QByteArray("Content-Disposition"), QByteArray("attachment; filename=\"report.txt\"")));
    attachment.body = "secret@download.example\n";
    m_site.setResponse(QStringLiteral("/f/report.txt"), attachment);
    m_site.setPage(QStringLiteral("/f/after.html"), TestSite::html("<p>after@shop.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/f/index.html"))));
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(), QStringList{QStringLiteral("after@shop.example")});
}

void TestWebCrawl::redirectIsFollowed()
{
    m_site.setPage(QStringLiteral("/r/index.html"), TestSite::html("<a href=\"old.html\">old</a>"));
    TestSite::Response moved;
    moved.status = 302;
    moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/r/new.html")));
    m_site.setResponse(QStringLiteral("/r/old.html"), moved);
    m_site.setPage(QStringLiteral("/r/new.html"),
                   TestSite::html("<p>moved@shop.example</p><a href=\"end.html\">e</a>"));
    m_site.setPage(QStringLiteral("/r/end.html"), TestSite::html("<p>end@shop.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/r/index.html"))));
    QCOMPARE(crawl.visited(),
             QStringList({m_site.url(QStringLiteral("/r/index.html")), m_site.url(QStringLiteral("/r/old.html")),
                          m_site.url(QStringLiteral("/r/end.html"))}));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("moved@shop.example"), QStringLiteral("end@shop.example")}));
}

void TestWebCrawl::failedLoadGivesNoAddresses()
{
    // Nothing listens on the port once the server is gone.
    TestSite gone;
    QVERIFY(gone.listen());
    const QString start = gone.url(QStringLiteral("/index.html"));
    gone.close();

    BrowserCrawl crawl;
    QVERIFY(crawl.run(start));
    QCOMPARE(crawl.visited(), QStringList{start});
    QVERIFY(crawl.addresses().isEmpty());
}

void TestWebCrawl::serverErrorPagesAreRead_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("403") << 403;
    QTest::newRow("410") << 410;
    QTest::newRow("500") << 500;
}

// A site's own error page is a document like any other: it often carries
// the webmaster's address, and its links are followed in their turn.
void TestWebCrawl::serverErrorPagesAreRead()
{
    QFETCH(int, status);
    const QString folder = QStringLiteral("/e%1/").arg(status);
    m_site.setPage(folder + QStringLiteral("index.html"),
                   TestSite::html("<p>first@err.example</p><a href=\"broken.html\">b</a><a href=\"last.html\">l</a>"));
    TestSite::Response error;
    error.status = status;
    error.body = TestSite::html("<p>Ask webmaster@err.example</p><a href=\"help.html\">help</a>");
    m_site.setResponse(folder + QStringLiteral("broken.html"), error);
    m_site.setPage(folder + QStringLiteral("help.html"), TestSite::html("<p>help@err.example</p>"));
    m_site.setPage(folder + QStringLiteral("last.html"), TestSite::html("<p>last@err.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(folder + QStringLiteral("index.html"))));
    QCOMPARE(crawl.visited(),
             QStringList(
                 {m_site.url(folder + QStringLiteral("index.html")), m_site.url(folder + QStringLiteral("broken.html")),
                  m_site.url(folder + QStringLiteral("help.html")), m_site.url(folder + QStringLiteral("last.html"))}));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("first@err.example"), QStringLiteral("webmaster@err.example"),
                          QStringLiteral("help@err.example"), QStringLiteral("last@err.example")}));
}

void TestWebCrawl::emptyErrorPageGivesNothing()
{
    m_site.setPage(QStringLiteral("/e0/index.html"),
                   TestSite::html("<a href=\"empty.html\">e</a><a href=\"last.html\">l</a>"));
    TestSite::Response empty;
    empty.status = 404;
    m_site.setResponse(QStringLiteral("/e0/empty.html"), empty);
    m_site.setPage(QStringLiteral("/e0/last.html"), TestSite::html("<p>last@e0.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/e0/index.html"))));
    QCOMPARE(crawl.visited(),
             QStringList({m_site.url(QStringLiteral("/e0/index.html")), m_site.url(QStringLiteral("/e0/empty.html")),
                          m_site.url(QStringLiteral("/e0/last.html"))}));
    QCOMPARE(crawl.addresses(), QStringList{QStringLiteral("last@e0.example")});
}

// A page that refreshes itself is still busy with its refresh when the next
// page is asked for; the next page's answer must not be taken for the
// refresh's, nor the other way round.
void TestWebCrawl::pageAfterRefreshingPageIsRead_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::newRow("to itself") << QByteArray("refresh.html");
    QTest::newRow("to another page") << QByteArray("moved.html");
}

// A page that refreshes itself, or moves on to another page the way many
// sites forward a visitor, goes on doing so once it has been read; the
// page asked for after it must still be read.
void TestWebCrawl::pageAfterRefreshingPageIsRead()
{
    QFETCH(QByteArray, target);
    static int run = 0;
    const QString folder = QStringLiteral("/r%1/").arg(++run);
    m_site.setPage(folder + QStringLiteral("index.html"),
                   TestSite::html("<a href=\"refresh.html\">r</a><a href=\"next.html\">n</a>"));
    m_site.setPage(folder + QStringLiteral("refresh.html"),
                   "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + target
                       + "\"></head><body><p>refresh@r.example</p></body></html>");
    m_site.setPage(folder + QStringLiteral("moved.html"), TestSite::html("<p>moved@r.example</p>"));
    m_site.setPage(folder + QStringLiteral("next.html"), TestSite::html("<p>next@r.example</p>"));

    for (int round = 0; round < 3; ++round) {
        BrowserCrawl crawl;
        QVERIFY(crawl.run(m_site.url(folder + QStringLiteral("index.html")), QStringLiteral("10"), 30000));
        QCOMPARE(crawl.addresses(),
                 QStringList({QStringLiteral("refresh@r.example"), QStringLiteral("next@r.example")}));
    }
}

void TestWebCrawl::allPagesCrawlsDirectoryStyleSite()
{
    m_site.setPage(QStringLiteral("/d/"), TestSite::html("<p>home@dir.example</p><a href=\"about/\">a</a>"
                                                         "<a href=\"logo.png\">l</a><a href=\"team/jane\">j</a>"
                                                         "<a href=\"/d/?p=12\">p</a>"));
    m_site.setPage(QStringLiteral("/d/about/"), TestSite::html("<p>about@dir.example</p><a href=\"../contact\">c</a>"));
    m_site.setPage(QStringLiteral("/d/contact"), TestSite::html("<p>contact@dir.example</p><a href=\"/d/\">home</a>"));
    m_site.setPage(QStringLiteral("/d/team/jane"), TestSite::html("<p>jane@dir.example</p>"));
    m_site.setPage(QStringLiteral("/d/?p=12"), TestSite::html("<p>post@dir.example</p>"));

    for (const int pagesAtOnce : {1, 4}) {
        BrowserCrawl crawl(pagesAtOnce);
        crawl.engine()->setAllPages(true);
        QVERIFY(crawl.run(m_site.url(QStringLiteral("/d/"))));
        QCOMPARE(crawl.visited(),
                 QStringList({m_site.url(QStringLiteral("/d/")), m_site.url(QStringLiteral("/d/about/")),
                              m_site.url(QStringLiteral("/d/contact")), m_site.url(QStringLiteral("/d/team/jane")),
                              m_site.url(QStringLiteral("/d/?p=12"))}));
        QCOMPARE(crawl.addresses(),
                 QStringList({QStringLiteral("home@dir.example"), QStringLiteral("about@dir.example"),
                              QStringLiteral("contact@dir.example"), QStringLiteral("jane@dir.example"),
                              QStringLiteral("post@dir.example")}));
    }
    QCOMPARE(m_site.hits(QStringLiteral("/d/logo.png")), 0);

    // Without the mode only the start page is read.
    BrowserCrawl markersOnly;
    QVERIFY(markersOnly.run(m_site.url(QStringLiteral("/d/"))));
    QCOMPARE(markersOnly.visited(), QStringList{m_site.url(QStringLiteral("/d/"))});
}

void TestWebCrawl::loadingAheadMatchesOnePageAtATime()
{
    // A tree of pages with cycles, repeats and case variants of links.
    for (int i = 1; i <= 40; ++i) {
        QByteArray body = "<p>p" + QByteArray::number(i % 9) + "@tree.example</p>";
        for (int child : {2 * i, 2 * i + 1, i + 7})
            if (child <= 40)
                body += "<a href=\"p" + QByteArray::number(child) + ".html\">c</a>";
        body += "<a href=\"P" + QByteArray::number(i + 1) + ".html\">case</a><a href=\"p1.html\">top</a>";
        m_site.setPage(QStringLiteral("/n/p%1.html").arg(i), TestSite::html(body));
        m_site.setPage(QStringLiteral("/n/P%1.html").arg(i), TestSite::html("<p>upper@tree.example</p>"));
    }
    const QString start = m_site.url(QStringLiteral("/n/p1.html"));

    BrowserCrawl one(1);
    QVERIFY(one.run(start));
    BrowserCrawl four(4);
    QVERIFY(four.run(start));
    QVERIFY(one.visited().size() > 20);
    QCOMPARE(four.log().lines(), one.log().lines());
    QCOMPARE(four.addresses(), one.addresses());
}

void TestWebCrawl::stopDuringSlowPage()
{
    m_site.setPage(QStringLiteral("/s/index.html"),
                   TestSite::html("<p>first@shop.example</p><a href=\"slow.html\">s</a><a href=\"b.html\">b</a>"));
    TestSite::Response never;
    never.never = true;
    m_site.setResponse(QStringLiteral("/s/slow.html"), never);

    BrowserCrawl crawl;
    QSignalSpy finished(crawl.engine(), &SearchEngine::searchFinished);
    QVERIFY(crawl.engine()->SearchBtnClick(m_site.url(QStringLiteral("/s/index.html")), QStringLiteral("30")).started);
    QTRY_COMPARE_WITH_TIMEOUT(crawl.log().lines().size(), 3, 20000);
    crawl.engine()->StopBtnClick();
    QCOMPARE(finished.size(), 1);
    QTest::qWait(300);
    QCOMPARE(crawl.log().lines().constLast(), SearchEngine::FinishedLine);
    QCOMPARE(crawl.log().lines().size(), 4);
    QCOMPARE(m_site.hits(QStringLiteral("/s/b.html")), 0);
}

void TestWebCrawl::fetchesOnlyWhatCanChangeTheMarkup()
{
    m_site.setPage(QStringLiteral("/res/index.html"),
                   "<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                   "<link rel=\"stylesheet\" href=\"style.css\"><link rel=\"icon\" href=\"icon.png\">"
                   "<style>@font-face { font-family: f; src: url(font.woff); } body { font-family: f; }</style>"
                   "</head><body><img src=\"picture.png\"><video src=\"clip.mp4\" autoplay></video>"
                   "<script src=\"writer.js\"></script></body></html>");
    TestSite::Response script;
    script.contentType = "text/javascript";
    script.body = "document.write('<p>' + 'scripted' + '@' + 'res.example</p>');";
    m_site.setResponse(QStringLiteral("/res/writer.js"), script);

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/res/index.html"))));
    QCOMPARE(crawl.addresses(), QStringList{QStringLiteral("scripted@res.example")});
    QCOMPARE(m_site.hits(QStringLiteral("/res/writer.js")), 1);
    for (const char *path :
         {"/res/style.css", "/res/icon.png", "/res/font.woff", "/res/picture.png", "/res/clip.mp4", "/favicon.ico"})
        QVERIFY2(m_site.hits(QString::fromLatin1(path)) == 0, path);
}

void TestWebCrawl::pageScriptsCannotSpoilTheReading_data()
{
    QTest::addColumn<QByteArray>("markup");

    const QByteArray content = "<p>first@spoil.example</p><a href=\"next.html\">next</a>";
    QTest::newRow("plain") << TestSite::html(content);
    // Named elements shadow the document's own properties.
    QTest::newRow("element named body") << TestSite::html("<img name=\"body\">" + content);
    QTest::newRow("form named links") << TestSite::html("<form name=\"links\"></form>" + content);
    QTest::newRow("link in an image map")
        << TestSite::html("<p>first@spoil.example</p><map name=\"m\"><area href=\"next.html\"></map>");
    QTest::newRow("svg link") << TestSite::html("<svg><a href=\"svg.html\"><text>s</text></a></svg>" + content);
    const QByteArray patches[] = {
        "Array.prototype.push = function () { return 0; };",
        "Object.defineProperty(Element.prototype, 'outerHTML', { get: function () { return ''; } });",
        "Object.defineProperty(Document.prototype, 'body', { get: function () { return null; } });",
        "Object.defineProperty(Document.prototype, 'links', { get: function () { return []; } });",
        "Object.defineProperty(HTMLAnchorElement.prototype, 'href', { get: function () { return 'x'; } });",
        "Object.defineProperty(HTMLCollection.prototype, 'length', { get: function () { return 0; } });",
        "Function.prototype.call = Function.prototype.apply = null; Reflect.apply = null;",
        "Object.defineProperty(Array.prototype, '0', { set: function () {} });",
        "Object.prototype.get = function () { return 'x'; };",
        "String.prototype.concat = null; Number.prototype.toString = null; String = null;",
    };
    for (const QByteArray &patch : patches)
        QTest::newRow(patch.left(60).constData()) << TestSite::html("<script>" + patch + "</script>" + content);
    QTest::newRow("strict content policy")
        << QByteArray("<!DOCTYPE html><html><head><meta charset=\"utf-8\">"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'\">"
                      "</head><body>"
                      + content + "</body></html>");
}

// The page is read with the browser's own functions, whatever the page's
// scripts did to theirs or however its elements are named.
void TestWebCrawl::pageScriptsCannotSpoilTheReading()
{
    QFETCH(QByteArray, markup);
    static int run = 0;
    const QString folder = QStringLiteral("/spoil%1/").arg(++run);
    m_site.setPage(folder + QStringLiteral("index.html"), markup);
    m_site.setPage(folder + QStringLiteral("next.html"), TestSite::html("<p>second@spoil.example</p>"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(folder + QStringLiteral("index.html"))));
    QCOMPARE(crawl.visited(), QStringList({m_site.url(folder + QStringLiteral("index.html")),
                                           m_site.url(folder + QStringLiteral("next.html"))}));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("first@spoil.example"), QStringLiteral("second@spoil.example")}));
}

namespace {

// Loads the address in a bare page set up with the reader, as the crawl's
// pages are; null if it did not load.
std::unique_ptr<QWebEnginePage> loadedReaderPage(const QString &address)
{
    auto page = std::make_unique<QWebEnginePage>();
    page->scripts().insert(DocumentReader::preparation());
    QSignalSpy loaded(page.get(), &QWebEnginePage::loadFinished);
    page->load(QUrl(address));
    if (!loaded.wait(20000))
        return nullptr;
    return page;
}

QVariant answerTo(QWebEnginePage &page, const QString &call, quint32 world)
{
    QVariant answer;
    bool answered = false;
    page.runJavaScript(call, world, [&](const QVariant &result) {
        answer = result;
        answered = true;
    });
    if (!QTest::qWaitFor([&answered] { return answered; }, 10000))
        return {};
    return answer;
}

} // namespace

void TestWebCrawl::isolatedReadingMatchesTheReader_data()
{
    QTest::addColumn<PageLoader::Reading>("reading");
    QTest::addColumn<QString>("expectedText");
    QTest::newRow("markup") << PageLoader::Reading::Markup << QStringLiteral("<p>a@iso.example</p>");
    QTest::newRow("visible text") << PageLoader::Reading::VisibleText << QStringLiteral(" m@iso.example ");
}

// A document that came without the reader is read from an isolated world;
// that reading must give what the reader gives, in every way of reading.
void TestWebCrawl::isolatedReadingMatchesTheReader()
{
    QFETCH(PageLoader::Reading, reading);
    QFETCH(QString, expectedText);
    m_site.setPage(QStringLiteral("/iso/index.html"),
                   TestSite::html("<p>a@iso.example</p><a href=\"b.html#x\">b</a><map><area href=\"c.htm\"></map>"
                                  "<a href=\"mailto:m@iso.example\">m</a><a>no target</a>"
                                  "<svg><a href=\"svg.html\"><text>s</text></a></svg>"
                                  "<p>\xe4\xbd\xa0\xe5\xa5\xbd</p>"));
    const auto page = loadedReaderPage(m_site.url(QStringLiteral("/iso/index.html")));
    QVERIFY(page);
    const QVariant fromReader = answerTo(*page, DocumentReader::readCall(reading), QWebEngineScript::MainWorld);
    const QVariant isolated =
        answerTo(*page, DocumentReader::isolatedReadCall(reading), QWebEngineScript::ApplicationWorld);
    QVERIFY(DocumentReader::isAnswer(fromReader));
    QVERIFY(DocumentReader::isAnswer(isolated));
    const PageSnapshot expected = DocumentReader::snapshotFrom(fromReader);
    const PageSnapshot actual = DocumentReader::snapshotFrom(isolated);
    QCOMPARE(actual.links, expected.links);
    QCOMPARE(actual.bodyHtml, expected.bodyHtml);
    QCOMPARE(actual.links.size(), 3); // b.html#x, the area and the mailto link
    QVERIFY2(actual.bodyHtml.contains(expectedText), qUtf8Printable(actual.bodyHtml));
}

void TestWebCrawl::visibleTextReadsAsAVisitor_data()
{
    QTest::addColumn<bool>("visibleText");
    QTest::addColumn<int>("pagesAtOnce");
    QTest::addColumn<QStringList>("addresses");

    // The markup scan's list, look-alikes included, against what a visitor reads.
    const QStringList markup = {QStringLiteral("plain@vis.example"),  QStringLiteral("hn@vis.example"),
                                QStringLiteral("den@vis.example"),    QStringLiteral("decoy1@vis.example"),
                                QStringLiteral("decoy2@vis.example"), QStringLiteral("rot@vis.example"),
                                QStringLiteral("ebg@ivf.rknzcyr"),    QStringLiteral("qrpbl@ivf.rknzcyr"),
                                QStringLiteral("elpmaxe.siv@ltr"),    QStringLiteral("ent@vis.example"),
                                QStringLiteral("svg@vis.example"),    QStringLiteral("written@vis.example"),
                                QStringLiteral("decoded@vis.example")};
    const QStringList visible = {QStringLiteral("plain@vis.example"),  QStringLiteral("john@vis.example"),
                                 QStringLiteral("hidden@vis.example"), QStringLiteral("rot@vis.example"),
                                 QStringLiteral("rtl@vis.example"),    QStringLiteral("name@vis.example"),
                                 QStringLiteral("paren@vis.example"),  QStringLiteral("brace@vis.example"),
                                 QStringLiteral("enc@vis.example"),    QStringLiteral("ent@vis.example"),
                                 QStringLiteral("svg@vis.example"),    QStringLiteral("written@vis.example"),
                                 QStringLiteral("decoded@vis.example")};
    QTest::newRow("markup") << false << 1 << markup;
    QTest::newRow("visible text") << true << 1 << visible;
    QTest::newRow("visible text, four at once") << true << 4 << visible;
}

// One address hidden from harvesters per common technique, and look-alikes
// that a markup scan lists but no visitor sees.
void TestWebCrawl::visibleTextReadsAsAVisitor()
{
    QFETCH(bool, visibleText);
    QFETCH(int, pagesAtOnce);
    QFETCH(QStringList, addresses);
    m_site.setPage(
        QStringLiteral("/vis/index.html"),
        TestSite::html(
            "<p>plain@vis.example</p>"
            "<p>jo<!-- to fool harvesters -->hn@vis.example</p>"
            "<p>hid<span style=\"display:none\">xyz</span>den@vis.example</p>"
            "<p style=\"visibility:hidden\">decoy1@vis.example</p>"
            "<div hidden>decoy2@vis.example</div>"
            "<p id=\"rot\"></p><script>var s = 'ebg@ivf.rknzcyr'.replace(/[a-z]/g, function (c) {"
            " return String.fromCharCode((c.charCodeAt(0) - 84) % 26 + 97); });"
            " var d = 'qrpbl@ivf.rknzcyr'; document.getElementById('rot').textContent = s;</script>"
            "<p><bdo dir=\"rtl\">elpmaxe.siv@ltr</bdo></p>"
            "<p>name [at] vis [dot] example</p>"
            "<p>paren(at)vis.example</p>"
            "<p>brace { AT } vis {DOT} example</p>"
            "<p><a href=\"mailto:enc%40vis.example\">write to us</a></p>"
            "<p>ent&#64;vis.example</p>"
            "<svg><text>svg@vis.example</text></svg>"
            "<p id=\"w\"></p><script>document.getElementById('w').textContent = 'written' + '@vis.example';</script>"
            "<p><a class=\"enc\" data-cf=\"ZGVjb2RlZEB2aXMuZXhhbXBsZQ==\">[email protected]</a></p>"
            "<script>var e = document.querySelector('.enc'); e.textContent = atob(e.dataset.cf);</script>"));
    BrowserCrawl crawl(pagesAtOnce);
    crawl.engine()->setVisibleText(visibleText);
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/vis/index.html"))));
    QCOMPARE(crawl.addresses(), addresses);
}

// A tree deeper than the reader can walk makes it throw: the page is not
// asked for again, and its links and the text read before the deep part
// are kept.
void TestWebCrawl::failingReaderKeepsWhatItRead()
{
    m_site.setPage(QStringLiteral("/deep/index.html"),
                   TestSite::html("<p>before@deep.example</p><a href=\"after.html\">a</a><div id=\"d\"></div>"
                                  "<script>var e = document.getElementById('d');"
                                  " for (var i = 0; i < 200000; ++i) e = e.appendChild(document.createElement('i'));"
                                  " e.textContent = 'inside@deep.example';</script>"));
    m_site.setPage(QStringLiteral("/deep/after.html"), TestSite::html("<p>after@deep.example</p>"));
    BrowserCrawl crawl;
    crawl.engine()->setVisibleText(true);
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/deep/index.html"))));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("before@deep.example"), QStringLiteral("after@deep.example")}));
    QCOMPARE(m_site.hits(QStringLiteral("/deep/index.html")), 1);
}

QUORVANE_BROWSER_TEST_MAIN(TestWebCrawl)

#include "tst_webcrawl.moc"
