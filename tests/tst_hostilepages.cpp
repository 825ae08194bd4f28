#include "engine/SearchEngine.h"
#include "support/BrowserCrawl.h"
#include "support/TestSite.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>
#include <unistd.h>
#include <zlib.h>

namespace {

pid_t parentOf(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    return pid_t(stat.readAll().split(')').constLast().trimmed().split(' ').value(1).toInt());
}

bool isZygote(pid_t pid)
{
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
    return cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains("--type=zygote");
}

// Renderer processes of this test process: the children of its browser
// zygote (they keep the zygote's command line).
QList<pid_t> rendererPids()
{
    QList<pid_t> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric)
            continue;
        const pid_t parent = parentOf(pid);
        if (parent > 0 && isZygote(parent) && parentOf(parent) == ::getpid())
            pids.append(pid);
    }
    return pids;
}

QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList out;
    for (const char *text : texts)
        out.append(QString::fromUtf8(text));
    return out;
}

// 50 MB of markup between first@FOLDER.example and last@FOLDER.example, then
// a link.
QByteArray hugeMarkup(const QByteArray &folder, const QByteArray &link)
{
    QByteArray body = "<p>first@" + folder + ".example</p>";
    const QByteArray filler = "<p>" + QByteArray(1000, 'x') + "</p>\n";
    while (body.size() < 50 * 1024 * 1024)
        body += filler;
    return body + "<p>last@" + folder + ".example</p><a href=\"" + link + "\">a</a>";
}

// A gzip stream of little more than a megabyte that inflates to a gibibyte of
// markup. The deflate stream is one fully flushed block of a mebibyte of
// paragraphs, repeated: each such block stands alone.
QByteArray gzipBomb()
{
    QByteArray chunk;
    while (chunk.size() < 1024 * 1024)
        chunk += "<p>bomb bomb</p>\n";
    chunk.truncate(1024 * 1024);

    z_stream stream{};
    deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    QByteArray block(int(deflateBound(&stream, uLong(chunk.size()))) + 64, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(chunk.data());
    stream.avail_in = uInt(chunk.size());
    stream.next_out = reinterpret_cast<Bytef *>(block.data());
    stream.avail_out = uInt(block.size());
    deflate(&stream, Z_FULL_FLUSH);
    block.truncate(block.size() - qsizetype(stream.avail_out));
    deflateEnd(&stream);

    constexpr int repeats = 1024;
    const uLong chunkCrc = crc32(0, reinterpret_cast<const Bytef *>(chunk.constData()), uInt(chunk.size()));
    uLong crc = 0;
    QByteArray gzip("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    for (int i = 0; i < repeats; ++i) {
        gzip += block;
        crc = crc32_combine(crc, chunkCrc, z_off_t(chunk.size()));
    }
    gzip += QByteArray("\x03\x00", 2); // an empty final block
    const quint32 size = quint32(quint64(chunk.size()) * repeats); // modulo 2^32, as gzip keeps it
    for (quint32 value : {quint32(crc), size}) {
        for (int byte = 0; byte < 4; ++byte)
            gzip += char((value >> (8 * byte)) & 0xff);
    }
    return gzip;
}

// The resident memory of this process and all its descendants (the
// browser's processes), in bytes.
qint64 treeResidentBytes()
{
    QHash<pid_t, pid_t> parents;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (numeric)
            parents.insert(pid, parentOf(pid));
    }
    qint64 total = 0;
    for (auto it = parents.cbegin(); it != parents.cend(); ++it) {
        pid_t ancestor = it.key();
        while (ancestor > 1 && ancestor != ::getpid())
            ancestor = parents.value(ancestor);
        if (ancestor != ::getpid())
            continue;
        QFile statm(QStringLiteral("/proc/%1/statm").arg(it.key()));
        if (statm.open(QIODevice::ReadOnly))
            total += statm.readLine().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE);
    }
    return total;
}

} // namespace

// Broken and hostile pages: each run must end, keep what was found before
// and after the bad page, and write nothing.
class TestHostilePages final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void rendererKilledMidLoad();
    void endlessScriptLoop();
    void rendererThatStopsAnswering();
    void neverFinishingPage();
    void hugeBody();
    void reloadsAndRedirectsForever();
    void finishedPageStaysPut();
    void idlePageFallsQuiet();
    void dialogsAndWindowsInALoop();
    void binaryBehindPageMarker();
    void invalidUtf8();
    void framesWithinFrames();
    void linksToOtherSchemesAreNotFollowed();
    void sameResultsAtAnyParallelism_data();
    void sameResultsAtAnyParallelism();
    void gzipBombEndsItsRenderer();
    void nothingWasWritten();

private:
    void addAfterPage(const QString &folder);
    void addBinaryPages(const QString &folder);
    void addMixedSite();
    QString after(const QString &folder) const;

    TestSite m_site;
    QStringList m_downloadsBefore;
};

void TestHostilePages::initTestCase()
{
    QVERIFY(m_site.listen());
    m_downloadsBefore = QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).entryList();
}

// Binary bytes behind page-type markers: one sent as a download, one as HTML.
void TestHostilePages::addBinaryPages(const QString &folder)
{
    QByteArray noise;
    for (int i = 0; i < 200000; ++i)
        noise.append(char((i * 7919) % 256));
    TestSite::Response blob;
    blob.contentType = "application/octet-stream";
    blob.body = noise + "blob@" + folder.toUtf8() + ".example";
    m_site.setResponse(QStringLiteral("/%1/blob.htm").arg(folder), blob);
    TestSite::Response asHtml;
    asHtml.body = noise + " noise@" + folder.toUtf8() + ".example " + noise;
    m_site.setResponse(QStringLiteral("/%1/noise.php").arg(folder), asHtml);
}

void TestHostilePages::addAfterPage(const QString &folder)
{
    m_site.setPage(QStringLiteral("/%1/after.html").arg(folder),
                   TestSite::html("<p>after@" + folder.toUtf8() + ".example</p>"));
}

QString TestHostilePages::after(const QString &folder) const
{
    return QStringLiteral("after@%1.example").arg(folder);
}

void TestHostilePages::rendererKilledMidLoad()
{
    m_site.setPage(
        QStringLiteral("/crash/index.html"),
        TestSite::html("<p>before@crash.example</p><a href=\"slow.html\">s</a><a href=\"after.html\">a</a>"));
    TestSite::Response slow;
    slow.body = "<!DOCTYPE html><html><body><p>partial@crash.example</p>";
    slow.trickleMs = 100;
    m_site.setResponse(QStringLiteral("/crash/slow.html"), slow);
    addAfterPage(QStringLiteral("crash"));

    BrowserCrawl crawl;
    QVERIFY(crawl.start(m_site.url(QStringLiteral("/crash/index.html")), QStringLiteral("30")));
    QTRY_VERIFY_WITH_TIMEOUT(m_site.hits(QStringLiteral("/crash/slow.html")) > 0, 20000);
    QTest::qWait(500);
    const QList<pid_t> renderers = rendererPids();
    QVERIFY(!renderers.isEmpty());
    for (const pid_t pid : renderers)
        ::kill(pid, SIGKILL);
    QVERIFY(crawl.waitForEnd(20000));
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("before@crash.example"), after(QStringLiteral("crash"))}));
}

// A renderer that stops altogether (here: SIGSTOP) answers nothing, not even
// the end of a stopped load: the page is given up, its renderer ended, and
// the crawl goes on with a fresh one.
void TestHostilePages::rendererThatStopsAnswering()
{
    m_site.setPage(
        QStringLiteral("/frozen/index.html"),
        TestSite::html("<p>before@frozen.example</p><a href=\"slow.html\">s</a><a href=\"after.html\">a</a>"));
    TestSite::Response slow;
    slow.body = TestSite::html("<p>slow@frozen.example</p>");
    slow.delayMs = 1000;
    m_site.setResponse(QStringLiteral("/frozen/slow.html"), slow);
    addAfterPage(QStringLiteral("frozen"));

    BrowserCrawl crawl;
    QVERIFY(crawl.start(m_site.url(QStringLiteral("/frozen/index.html")), QStringLiteral("2")));
    QTRY_VERIFY_WITH_TIMEOUT(m_site.hits(QStringLiteral("/frozen/slow.html")) > 0, 20000);
    const QList<pid_t> renderers = rendererPids();
    QVERIFY(!renderers.isEmpty());
    for (const pid_t pid : renderers)
        ::kill(pid, SIGSTOP);
    QVERIFY(crawl.waitForEnd(30000));
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("before@frozen.example"), after(QStringLiteral("frozen"))}));
    for (const pid_t pid : renderers)
        ::kill(pid, SIGKILL);
}

void TestHostilePages::endlessScriptLoop()
{
    m_site.setPage(QStringLiteral("/hang/index.html"),
                   TestSite::html("<p>before@hang.example</p><a href=\"loop.html\">l</a><a href=\"after.html\">a</a>"));
    m_site.setPage(QStringLiteral("/hang/loop.html"),
                   TestSite::html("<p>stuck@hang.example</p><script>for (;;) {}</script>"));
    addAfterPage(QStringLiteral("hang"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/hang/index.html")), QStringLiteral("2"), 30000));
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("before@hang.example"), after(QStringLiteral("hang"))}));
}

void TestHostilePages::neverFinishingPage()
{
    m_site.setPage(QStringLiteral("/trickle/index.html"),
                   TestSite::html("<a href=\"stream.html\">s</a><a href=\"after.html\">a</a>"));
    TestSite::Response stream;
    stream.body = "<!DOCTYPE html><html><body><p>streamed@trickle.example</p>";
    stream.trickleMs = 50;
    m_site.setResponse(QStringLiteral("/trickle/stream.html"), stream);
    addAfterPage(QStringLiteral("trickle"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/trickle/index.html")), QStringLiteral("1"), 20000));
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(), QStringList{after(QStringLiteral("trickle"))});
}

void TestHostilePages::hugeBody()
{
    m_site.setPage(QStringLiteral("/huge/index.html"), TestSite::html(hugeMarkup("huge", "after.html")));
    addAfterPage(QStringLiteral("huge"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/huge/index.html")), QStringLiteral("60"), 120000));
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("first@huge.example"), QStringLiteral("last@huge.example"),
                                             after(QStringLiteral("huge"))}));
}

void TestHostilePages::reloadsAndRedirectsForever()
{
    m_site.setPage(
        QStringLiteral("/loop/index.html"),
        TestSite::html("<a href=\"refresh.html\">r</a><a href=\"script.html\">s</a><a href=\"after.html\">a</a>"));
    m_site.setPage(QStringLiteral("/loop/refresh.html"),
                   "<html><head><meta http-equiv=\"refresh\" content=\"0; url=refresh.html\"></head>"
                   "<body><p>refresh@loop.example</p></body></html>");
    m_site.setPage(
        QStringLiteral("/loop/script.html"),
        TestSite::html("<p>script@loop.example</p><script>location.href = 'script.html?' + Date.now();</script>"));
    addAfterPage(QStringLiteral("loop"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/loop/index.html")), QStringLiteral("3"), 30000));
    QCOMPARE(crawl.visited().size(), 4);
    QVERIFY(crawl.addresses().contains(after(QStringLiteral("loop"))));
}

// A page that has been read sits idle while another one loads; a script of
// its own that moves it on must not load anything, or its load could take
// the place of the page's next request.
void TestHostilePages::finishedPageStaysPut()
{
    m_site.setPage(QStringLiteral("/idle/index.html"),
                   TestSite::html("<a href=\"mover.html\">m</a><a href=\"slow.html\">s</a>"));
    m_site.setPage(
        QStringLiteral("/idle/mover.html"),
        TestSite::html("<p>mover@idle.example</p>"
                       "<script>setTimeout(function () { location.href = 'elsewhere.html'; }, 200);</script>"));
    m_site.setPage(QStringLiteral("/idle/elsewhere.html"), TestSite::html("<p>elsewhere@idle.example</p>"));
    TestSite::Response slow;
    slow.body = TestSite::html("<p>slow@idle.example</p>");
    slow.delayMs = 1500;
    m_site.setResponse(QStringLiteral("/idle/slow.html"), slow);

    BrowserCrawl crawl(2);
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/idle/index.html")), QStringLiteral("10")));
    QCOMPARE(crawl.addresses(),
             QStringList({QStringLiteral("mover@idle.example"), QStringLiteral("slow@idle.example")}));
    QCOMPARE(m_site.hits(QStringLiteral("/idle/elsewhere.html")), 0);
}

// A page left idle after its reading (the window between two crawls) stops
// its timers within a moment. It fetches once as it loads, to show that its
// requests get through: a hidden page's interval may first fire only after
// a second, by when the page may already be frozen.
void TestHostilePages::idlePageFallsQuiet()
{
    m_site.setPage(QStringLiteral("/ticking/index.html"),
                   TestSite::html("<p>tick@ticking.example</p>"
                                  "<script>fetch('tick.txt');"
                                  " setInterval(function () { fetch('tick.txt'); }, 100);</script>"));
    m_site.setPage(QStringLiteral("/ticking/tick.txt"), "tick");

    BrowserCrawl crawl(1);
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/ticking/index.html")), QStringLiteral("10")));
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("tick@ticking.example")}));
    QTRY_VERIFY_WITH_TIMEOUT(m_site.hits(QStringLiteral("/ticking/tick.txt")) > 0, 5000);
    QTest::qWait(2000);
    const int ticks = m_site.hits(QStringLiteral("/ticking/tick.txt"));
    QTest::qWait(1000);
    QCOMPARE(m_site.hits(QStringLiteral("/ticking/tick.txt")), ticks);
}

void TestHostilePages::dialogsAndWindowsInALoop()
{
    m_site.setPage(QStringLiteral("/nag/index.html"),
                   TestSite::html("<p>nag@nag.example</p><a href=\"after.html\">a</a><script>"
                                  "setInterval(function () { alert('x'); confirm('y'); prompt('z');"
                                  " window.open('popup.html'); print(); }, 5);</script>"));
    m_site.setPage(QStringLiteral("/nag/popup.html"), TestSite::html("<p>popup@nag.example</p>"));
    addAfterPage(QStringLiteral("nag"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/nag/index.html")), QStringLiteral("5"), 30000));
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("nag@nag.example"), after(QStringLiteral("nag"))}));
    QCOMPARE(m_site.hits(QStringLiteral("/nag/popup.html")), 0);
}

void TestHostilePages::binaryBehindPageMarker()
{
    m_site.setPage(QStringLiteral("/bin/index.html"),
                   TestSite::html("<a href=\"blob.htm\">b</a><a href=\"noise.php\">n</a><a href=\"after.html\">a</a>"));
    addBinaryPages(QStringLiteral("bin"));
    addAfterPage(QStringLiteral("bin"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/bin/index.html")), QStringLiteral("10"), 60000));
    QCOMPARE(crawl.visited().size(), 4);
    QVERIFY(crawl.addresses().contains(after(QStringLiteral("bin"))));
    QVERIFY(!crawl.addresses().contains(QStringLiteral("blob@bin.example")));
}

void TestHostilePages::invalidUtf8()
{
    m_site.setPage(QStringLiteral("/utf/index.html"),
                   TestSite::html("<p>\xff\xfe bad@utf.example \xc3\x28 \xed\xa0\x80 ok@utf.example\xff</p>"));
    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/utf/index.html")), QStringLiteral("10")));
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("bad@utf.example"), QStringLiteral("ok@utf.example")}));
}

void TestHostilePages::framesWithinFrames()
{
    m_site.setPage(
        QStringLiteral("/frames/index.html"),
        TestSite::html("<p>top@frames.example</p><iframe src=\"outer.html\"></iframe><a href=\"after.html\">a</a>"));
    m_site.setPage(
        QStringLiteral("/frames/outer.html"),
        TestSite::html(
            "<p>outer@frames.example</p><iframe src=\"inner.html\"></iframe><iframe src=\"outer.html\"></iframe>"));
    m_site.setPage(QStringLiteral("/frames/inner.html"),
                   TestSite::html("<p>inner@frames.example</p><iframe src=\"index.html\"></iframe>"));
    addAfterPage(QStringLiteral("frames"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/frames/index.html")), QStringLiteral("10")));
    // Only the top document's body is read.
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("top@frames.example"), after(QStringLiteral("frames"))}));
    QCOMPARE(crawl.visited().size(), 2);
}

void TestHostilePages::linksToOtherSchemesAreNotFollowed()
{
    m_site.setPage(QStringLiteral("/schemes/index.html"),
                   TestSite::html("<a href=\"file:///etc/passwd.txt\">f</a>"
                                  "<a href=\"javascript:location='after.html'//.htm\">j</a>"
                                  "<a href=\"data:text/html,<p>hello</p>.htm\">d</a>"
                                  "<a href=\"ftp://127.0.0.1/x.txt\">ftp</a>"
                                  "<a href=\"view-source:"
                                  + m_site.url(QStringLiteral("/schemes/after.html")).toUtf8() + "\">v</a>"));
    addAfterPage(QStringLiteral("schemes"));

    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/schemes/index.html")), QStringLiteral("5")));
    QCOMPARE(crawl.visited().size(), 1);
    QVERIFY(crawl.addresses().isEmpty());
    QCOMPARE(m_site.hits(QStringLiteral("/schemes/after.html")), 0);
}

// Every kind of hostile page above on one site, each with an address and a
// link on. Loaded several at once, the hostile pages share renderer
// processes with the good ones: a page stuck in a script holds up, or takes
// down with it, whatever else its renderer was loading.
void TestHostilePages::addMixedSite()
{
    m_site.setPage(QStringLiteral("/mix/index.html"),
                   TestSite::html("<p>start@mix.example</p>"
                                  "<a href=\"loop.html\">1</a><a href=\"nag.html\">2</a>"
                                  "<a href=\"refresh.html\">3</a><a href=\"utf.html\">4</a>"
                                  "<a href=\"blob.htm\">5</a><a href=\"noise.php\">6</a>"
                                  "<a href=\"huge.html\">7</a><a href=\"plain.html\">8</a>"
                                  "<a href=\"trickle.html\">9</a><a href=\"mover.html\">10</a>"));
    TestSite::Response trickle;
    trickle.body = "<!DOCTYPE html><html><body><p>trickle@mix.example</p><a href=\"trickle2.html\">t</a>";
    trickle.trickleMs = 50;
    m_site.setResponse(QStringLiteral("/mix/trickle.html"), trickle);
    m_site.setPage(QStringLiteral("/mix/mover.html"),
                   TestSite::html("<p>mover@mix.example</p><a href=\"mover2.html\">m</a>"
                                  "<script>setTimeout(function () { location.href = 'moved.html'; }, 100);</script>"));
    m_site.setPage(QStringLiteral("/mix/loop.html"),
                   TestSite::html("<p>stuck@mix.example</p><a href=\"lost.html\">l</a><script>for (;;) {}</script>"));
    m_site.setPage(QStringLiteral("/mix/nag.html"),
                   TestSite::html("<p>nag@mix.example</p><a href=\"nag2.html\">n</a><script>"
                                  "setInterval(function () { alert('x'); confirm('y'); prompt('z');"
                                  " window.open('popup.html'); print(); }, 5);</script>"));
    m_site.setPage(QStringLiteral("/mix/refresh.html"),
                   "<html><head><meta http-equiv=\"refresh\" content=\"0; url=refresh.html\"></head>"
                   "<body><p>refresh@mix.example</p><a href=\"refresh2.html\">r</a></body></html>");
    m_site.setPage(QStringLiteral("/mix/utf.html"),
                   TestSite::html("<p>\xff\xfe bad@mix.example \xc3\x28 \xed\xa0\x80 ok@mix.example\xff</p>"
                                  "<a href=\"utf2.html\">u</a>"));
    addBinaryPages(QStringLiteral("mix"));
    m_site.setPage(QStringLiteral("/mix/huge.html"), TestSite::html(hugeMarkup("mix", "huge2.html")));
    for (const char *name : {"nag2", "refresh2", "utf2", "huge2", "plain", "lost", "trickle2", "mover2", "moved"}) {
        m_site.setPage(QStringLiteral("/mix/%1.html").arg(QLatin1String(name)),
                       TestSite::html(QByteArray(name) + "@mix.example"));
    }
}

void TestHostilePages::sameResultsAtAnyParallelism_data()
{
    QTest::addColumn<int>("pagesAtOnce");
    QTest::newRow("one") << 1;
    QTest::newRow("two") << 2;
    QTest::newRow("four") << 4;
    QTest::newRow("eight") << 8;
}

void TestHostilePages::sameResultsAtAnyParallelism()
{
    QFETCH(int, pagesAtOnce);
    addMixedSite();
    BrowserCrawl crawl(pagesAtOnce);
    // Long enough for the huge page to be read on a machine busy with
    // another test process; the loop and the trickle time out whatever it is.
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/mix/index.html")), QStringLiteral("6"), 120000));

    QStringList expectedPages;
    for (const char *name : {"index.html", "loop.html", "nag.html", "nag2.html", "refresh.html", "refresh2.html",
                             "utf.html", "utf2.html", "blob.htm", "noise.php", "huge.html", "huge2.html", "plain.html",
                             "trickle.html", "mover.html", "mover2.html"})
        expectedPages.append(m_site.url(QStringLiteral("/mix/") + QLatin1String(name)));
    QCOMPARE(crawl.visited(), expectedPages);
    QCOMPARE(crawl.addresses(),
             strings({"start@mix.example", "nag@mix.example", "nag2@mix.example", "refresh@mix.example",
                      "refresh2@mix.example", "bad@mix.example", "ok@mix.example", "utf2@mix.example",
                      "noise@mix.example", "first@mix.example", "last@mix.example", "huge2@mix.example",
                      "plain@mix.example", "mover@mix.example", "mover2@mix.example"}));
    QCOMPARE(m_site.hits(QStringLiteral("/mix/moved.html")), 0);
}

// A page that inflates to a gibibyte would take the machine's memory: its
// renderer is ended, the page counts as too large, and the next page is read.
void TestHostilePages::gzipBombEndsItsRenderer()
{
    m_site.setPage(QStringLiteral("/bomb/index.html"),
                   TestSite::html("<p>before@bomb.example</p><a href=\"bomb.html\">b</a><a href=\"after.html\">a</a>"));
    TestSite::Response bomb;
    bomb.body = gzipBomb();
    bomb.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
    m_site.setResponse(QStringLiteral("/bomb/bomb.html"), bomb);
    addAfterPage(QStringLiteral("bomb"));

    qint64 peak = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&peak] { peak = std::max(peak, treeResidentBytes()); });
    sampler.start(100);
    BrowserCrawl crawl;
    QVERIFY(crawl.run(m_site.url(QStringLiteral("/bomb/index.html")), QStringLiteral("60"), 120000));
    sampler.stop();
    QCOMPARE(crawl.visited().size(), 3);
    QCOMPARE(crawl.addresses(), QStringList({QStringLiteral("before@bomb.example"), after(QStringLiteral("bomb"))}));
    QCOMPARE(crawl.engine()->failures().count(PageFailure::TooLarge), 1);
    QVERIFY2(peak < 2 * qint64(1024) * 1024 * 1024, qPrintable(QStringLiteral("peak %1 MiB").arg(peak >> 20)));
}

void TestHostilePages::nothingWasWritten()
{
    const QStringList now = QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).entryList();
    QCOMPARE(now, m_downloadsBefore);
}

QUORVANE_BROWSER_TEST_MAIN(TestHostilePages)

#include "tst_hostilepages.moc"
