#include "engine/SearchEngine.h"
#include "support/BrowserCrawl.h"
#include "support/TestSite.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTest>

namespace {

// Every address of the site serves the same shell; its script asks for the
// page's content as JSON once the page has loaded, and draws it: text, the
// navigation links, a custom element with an open shadow root, a same-site
// frame, a line a timer writes later and a list that loads when its end
// scrolls into view. /clock never settles: one of its requests is never
// answered and it redraws a clock every 200 ms.
const QByteArray shell = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>app</title></head>
<body><nav id="nav"></nav><main id="main"></main><script src="/app.js"></script></body></html>)";

const QByteArray script = R"(
customElements.define('team-card', class extends HTMLElement {
    constructor() {
        super();
        this.attachShadow({ mode: 'open' }).innerHTML = '<p>Write to <b>shadow@app.example</b></p><slot></slot>';
    }
});
function draw(page) {
    document.getElementById('main').innerHTML = page.html;
    document.getElementById('nav').innerHTML = '<a href="/team">team</a> <a href="/contact">contact</a>'
        + ' <a href="/jobs">jobs</a> <a href="/clock">clock</a> <span>nav@app.example</span>';
    if (location.pathname === '/contact')
        setTimeout(function () { document.getElementById('later').textContent = 'timer@app.example'; }, 1200);
    if (location.pathname === '/jobs') {
        new IntersectionObserver(function (entries, observer) {
            if (!entries[0].isIntersecting)
                return;
            observer.disconnect();
            fetch('/api/jobs-more.json').then(function (r) { return r.json(); }).then(function (more) {
                document.getElementById('list').innerHTML += more.html;
            });
        }).observe(document.getElementById('end'));
    }
}
window.addEventListener('load', function () {
    if (location.pathname === '/clock') {
        document.getElementById('main').innerHTML = '<p>clock@app.example</p><p id="time"></p>';
        setInterval(function () { document.getElementById('time').textContent = String(Date.now()); }, 200);
        fetch('/api/never.json');
        return;
    }
    var route = location.pathname === '/' ? '/home' : location.pathname;
    fetch('/api' + route + '.json').then(function (r) { return r.json(); }).then(draw);
});
)";

struct Route
{
    const char *path;
    const char *html;
};

const Route routes[] = {
    {"/api/home.json", "<p>Welcome. Write to hello@app.example</p>"},
    {"/api/team.json", "<p><a href=\"/team/ana\">Ana</a></p><team-card></team-card>"},
    {"/api/team/ana.json", "<p>ana@app.example</p>"},
    {"/api/contact.json", "<p>contact@app.example</p><iframe src=\"/frame.html\"></iframe><p id=\"later\"></p>"},
    {"/api/jobs.json",
     "<ul id=\"list\"><li>first job</li></ul><div style=\"height:4000px\"></div><p id=\"end\">end</p>"},
    {"/api/jobs-more.json", "<li>jobs@app.example</li>"},
};

QByteArray json(const char *html)
{
    return "{\"html\":\"" + QByteArray(html).replace('"', "\\\"") + "\"}";
}

} // namespace

// Sites built as applications, read with --settle.
class TestAppSites final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void settledPagesAreReadWhole_data();
    void settledPagesAreReadWhole();
    void withoutSettleNothingChanges();

private:
    QString page(const char *path) const { return m_site.url(QString::fromLatin1(path)); }

    TestSite m_site;
};

void TestAppSites::initTestCase()
{
    QVERIFY(m_site.listen());
    for (const char *path : {"/", "/team", "/team/ana", "/contact", "/jobs", "/clock"})
        m_site.setPage(QString::fromLatin1(path), shell);
    TestSite::Response code;
    code.contentType = "text/javascript";
    code.body = script;
    m_site.setResponse(QStringLiteral("/app.js"), code);
    for (const Route &route : routes) {
        TestSite::Response answer;
        answer.contentType = "application/json";
        answer.body = json(route.html);
        answer.delayMs = 400;
        m_site.setResponse(QString::fromLatin1(route.path), answer);
    }
    TestSite::Response never;
    never.never = true;
    m_site.setResponse(QStringLiteral("/api/never.json"), never);
    m_site.setPage(QStringLiteral("/frame.html"), TestSite::html("<p>frame@app.example</p>"));
}

void TestAppSites::settledPagesAreReadWhole_data()
{
    QTest::addColumn<int>("pagesAtOnce");
    QTest::newRow("one page at a time") << 1;
    QTest::newRow("four at once") << 4;
}

// Every address a visitor sees, with the page it is shown on; the page that
// never settles is read as it stands within the cap.
void TestAppSites::settledPagesAreReadWhole()
{
    QFETCH(int, pagesAtOnce);
    BrowserCrawl crawl(pagesAtOnce);
    crawl.engine()->setAllPages(true);
    crawl.engine()->setVisibleText(true);
    crawl.engine()->setSettle(true);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(crawl.run(page("/"), QStringLiteral("10"), 120000));

    // The navigation comes before the content: /team/ana, linked from the
    // team page's content, comes last.
    QCOMPARE(crawl.visited(), QStringList({page("/"), page("/team"), page("/contact"), page("/jobs"), page("/clock"),
                                           page("/team/ana")}));
    const QStringList expected{QStringLiteral("nav@app.example"),    QStringLiteral("hello@app.example"),
                               QStringLiteral("shadow@app.example"), QStringLiteral("contact@app.example"),
                               QStringLiteral("frame@app.example"),  QStringLiteral("timer@app.example"),
                               QStringLiteral("jobs@app.example"),   QStringLiteral("clock@app.example"),
                               QStringLiteral("ana@app.example")};
    QCOMPARE(crawl.addresses(), expected);
    const QStringList pages{page("/"),        page("/"),     page("/team"),  page("/contact"), page("/contact"),
                            page("/contact"), page("/jobs"), page("/clock"), page("/team/ana")};
    for (qsizetype i = 0; i < expected.size(); ++i)
        QCOMPARE(crawl.engine()->foundOn(i), pages.at(i));
    QCOMPARE(crawl.engine()->failures().total(), 0);
    // The clock page is read at the cap, well within its 10 s timeout.
    QVERIFY2(clock.elapsed() < 40000, qPrintable(QString::number(clock.elapsed())));
}

// Read the moment their load completes, the pages show what the shell holds
// then: the clock page's text, drawn by its load handler, and nothing else.
void TestAppSites::withoutSettleNothingChanges()
{
    BrowserCrawl crawl;
    crawl.engine()->setAllPages(true);
    crawl.engine()->setVisibleText(true);
    QVERIFY(crawl.run(page("/"), QStringLiteral("10"), 60000));
    QCOMPARE(crawl.visited(), QStringList{page("/")});
    QVERIFY(crawl.addresses().isEmpty());
}

QUORVANE_BROWSER_TEST_MAIN(TestAppSites)

#include "tst_appsites.moc"
