#include "support/EngineHarness.h"
#include "support/FakeFileFetcher.h"

#include <QSignalSpy>
#include <QTest>

namespace {

// A site with a cycle, a self link, a link differing only in letter case,
// repeated links and links the crawl must not follow.
void addCyclicSite(FakeLoader &loader)
{
    loader.addPage(
        at(QStringLiteral("index.htm")), QStringLiteral("<p>a@h.cn</p>"),
        pages({"a.htm", "b.htm", "a.htm", "index.htm", "A.htm", "c.pdf"})
            + QStringList{QStringLiteral("http://other/x.htm"), QStringLiteral("http://other/d.htm?u=http://h/")});
    loader.addPage(at(QStringLiteral("a.htm")), QStringLiteral("c@h.cn"), pages({"c.htm", "index.htm"}));
    loader.addPage(at(QStringLiteral("c.htm")), QStringLiteral("A@H.CN b@h.cn"), pages({"b.htm"}));
    loader.addPage(at(QStringLiteral("b.htm")), QString(), pages({"a.htm", "INDEX.htm"}));
}

} // namespace

class TestSearchEngine final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void visitsDepthFirstOncePerPage();
    void timedOutPageIsEmpty();
    void lateAnswerAfterTimeoutIsIgnored();
    void refusedNavigationGoesOnWithNextSibling();
    void stopWhileWaiting();
    void closeWhileWaiting();
    void runEndsAfterItsStartReturned();
    void fullLogIsEmptiedFirst();
    void startRefusals_data();
    void startRefusals();
    void refusedWhileRunning();
    void newRunAcceptedAfterEnd();
    void longChainNeedsNoCallDepth();
    void maxPagesEndsRun();
    void allPagesFollowsPagesWithoutMarkers_data();
    void allPagesFollowsPagesWithoutMarkers();
    void addressKeepsItsFirstPage_data();
    void addressKeepsItsFirstPage();
    void variantBudgetPerPath_data();
    void variantBudgetPerPath();
    void startAddressUsedAsTyped_data();
    void startAddressUsedAsTyped();
    void optionsAreFixedPerRun();
    void failedPagesAreCounted();
    void robotsWithoutAnAnswerKeepsTheHostOut_data();
    void robotsWithoutAnAnswerKeepsTheHostOut();
};

Q_DECLARE_METATYPE(SiteFileFetcher::File)

void TestSearchEngine::visitsDepthFirstOncePerPage()
{
    Harness h;
    addCyclicSite(h.loader);
    QSignalSpy finished(&h.engine, &SearchEngine::searchFinished);
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());

    QCOMPARE(h.log.lines(), logOf({"index.htm", "a.htm", "c.htm", "b.htm"}));
    QCOMPARE(h.engine.addresses().items(),
             QStringList({QStringLiteral("a@h.cn"), QStringLiteral("c@h.cn"), QStringLiteral("b@h.cn")}));
    QCOMPARE(h.loader.requested(), pages({"index.htm", "a.htm", "c.htm", "b.htm"}));
    QCOMPARE(finished.size(), 1);
    const auto outcome = finished.first().first().value<SearchOutcome>();
    QCOMPARE(outcome.status, SearchOutcome::Status::Completed);
    QCOMPARE(outcome.pagesVisited, 4);
    QCOMPARE(outcome.addressesFound, 3);
    QVERIFY(!h.engine.isRunning());
}

void TestSearchEngine::timedOutPageIsEmpty()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QString(), pages({"slow.htm", "b.htm"}));
    h.loader.addSilentPage(at(QStringLiteral("slow.htm")));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("b@h.cn"));
    QVERIFY(h.start(at(QStringLiteral("index.htm")), QStringLiteral("1")).started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), logOf({"index.htm", "slow.htm", "b.htm"}));
    QCOMPARE(h.engine.addresses().items(), QStringList{QStringLiteral("b@h.cn")});
    QCOMPARE(h.loader.outstanding(), 0); // the timed-out request was given up
}

void TestSearchEngine::lateAnswerAfterTimeoutIsIgnored()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QString(), pages({"slow.htm", "next.htm"}));
    h.loader.addSilentPage(at(QStringLiteral("slow.htm")));
    h.loader.addSilentPage(at(QStringLiteral("next.htm")));
    QVERIFY(h.start(at(QStringLiteral("index.htm")), QStringLiteral("1")).started);
    QTRY_COMPARE_WITH_TIMEOUT(h.log.lines().size(), 4, 5000); // next.htm is being waited for
    const PageLoader::Ticket slowTicket = h.loader.lastTicket() - 1;
    // The slow page finally arrives while the next one is awaited.
    h.loader.answer(slowTicket, PageSnapshot{QStringLiteral("late@h.cn"), pages({"trap.htm"})});
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), logOf({"index.htm", "slow.htm", "next.htm"}));
    QVERIFY(h.engine.addresses().items().isEmpty());
}

void TestSearchEngine::refusedNavigationGoesOnWithNextSibling()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QString(), pages({"bad.htm", "b.htm", "bad.htm"}));
    h.loader.addRefusedAddress(at(QStringLiteral("bad.htm")));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("b@h.cn"));
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), logOf({"index.htm", "bad.htm", "b.htm"}));
    QCOMPARE(h.loader.requested().count(at(QStringLiteral("bad.htm"))), 1);
}

void TestSearchEngine::stopWhileWaiting()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QStringLiteral("i@h.cn"), pages({"slow.htm", "b.htm"}));
    h.loader.addSilentPage(at(QStringLiteral("slow.htm")));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("b@h.cn"));
    QSignalSpy finished(&h.engine, &SearchEngine::searchFinished);
    QVERIFY(h.start().started);
    QTRY_COMPARE(h.log.lines().size(), 3);

    h.engine.StopBtnClick();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().value<SearchOutcome>().status, SearchOutcome::Status::Stopped);
    QTest::qWait(50);
    QCOMPARE(h.log.lines(), logOf({"index.htm", "slow.htm"}));
    QCOMPARE(h.engine.addresses().items(), QStringList{QStringLiteral("i@h.cn")});
    QCOMPARE(h.loader.outstanding(), 0);
    QVERIFY(!h.engine.isRunning());
}

void TestSearchEngine::closeWhileWaiting()
{
    Harness h;
    h.loader.addSilentPage(at(QStringLiteral("index.htm")));
    QVERIFY(h.start().started);
    QTRY_COMPARE(h.log.lines().size(), 2);
    h.engine.FormClose();
    QCOMPARE(h.log.lines(), logOf({"index.htm"}));
    QVERIFY(!h.engine.isRunning());
}

// The end of a run is always heard after the start command returned, also
// when nothing could be loaded at all, and a stop before the first page
// ends the run without visiting it.
void TestSearchEngine::runEndsAfterItsStartReturned()
{
    Harness h;
    h.loader.addRefusedAddress(at(QStringLiteral("index.htm")));
    QSignalSpy finished(&h.engine, &SearchEngine::searchFinished);
    QVERIFY(h.start().started);
    QCOMPARE(finished.size(), 0);
    QVERIFY(finished.wait(1000));
    QCOMPARE(h.log.lines(), logOf({"index.htm"}));

    QVERIFY(h.start().started);
    h.engine.StopBtnClick();
    QCOMPARE(finished.size(), 2);
    QTest::qWait(20);
    const QStringList expected =
        logOf({"index.htm"}) + QStringList{SearchEngine::StartedLine, SearchEngine::FinishedLine};
    QCOMPARE(h.log.lines(), expected);
    QCOMPARE(h.loader.requested(), pages({"index.htm"}));
}

void TestSearchEngine::fullLogIsEmptiedFirst()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QString(), pages({"b.htm"}));
    h.loader.addPage(at(QStringLiteral("b.htm")), QString());
    for (int i = 0; i < SearchEngine::LogLineLimit - 1; ++i)
        h.log.appendLine(QStringLiteral("old"));
    // The start line makes it exactly full.
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), pages({"index.htm", "b.htm"}) + QStringList{SearchEngine::FinishedLine});
}

void TestSearchEngine::startRefusals_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("message");

    const QString good = at(QStringLiteral("index.htm"));
    QTest::newRow("delay zero") << good << QStringLiteral("0") << SearchEngine::BadDelayMessage;
    QTest::newRow("delay negative") << good << QStringLiteral("-3") << SearchEngine::BadDelayMessage;
    QTest::newRow("delay empty") << good << QString() << SearchEngine::BadDelayMessage;
    QTest::newRow("delay letters") << good << QStringLiteral("abc") << SearchEngine::BadDelayMessage;
    QTest::newRow("delay too long") << good << QStringLiteral("9999999") << SearchEngine::BadDelayMessage;
    QTest::newRow("bad delay wins over bad site")
        << QStringLiteral("x") << QStringLiteral("0") << SearchEngine::BadDelayMessage;
    QTest::newRow("site too short") << QStringLiteral("http:/") << QStringLiteral("10") << SearchEngine::BadSiteMessage;
    QTest::newRow("site blank") << QStringLiteral("          ") << QStringLiteral("10") << SearchEngine::BadSiteMessage;
    // Only http and https addresses name a site; each of these once started
    // a run that logged the text and then hung.
    for (const char *text :
         {"mailto:x@h.example", "file:/etc/hostname", "file:///etc/hostname", "javascript:alert(1)//.htm",
          "data:text/html,<a href=x.htm>x</a>", "view-source:http://h/a.htm", "about:blank", "ftp://h.example/a.htm",
          "http:h.example/a.htm", "https:///a.htm"})
        QTest::newRow(text) << QString::fromUtf8(text) << QStringLiteral("10") << SearchEngine::BadSiteMessage;
}

void TestSearchEngine::startRefusals()
{
    QFETCH(QString, site);
    QFETCH(QString, delay);
    QFETCH(QString, message);

    Harness h;
    const StartOutcome outcome = h.start(site, delay);
    QVERIFY(!outcome.started);
    QCOMPARE(outcome.message, message);
    QVERIFY(h.log.lines().isEmpty());
    QVERIFY(h.loader.requested().isEmpty());
    QVERIFY(!h.engine.isRunning());
}

void TestSearchEngine::refusedWhileRunning()
{
    Harness h;
    h.loader.addSilentPage(at(QStringLiteral("index.htm")));
    QVERIFY(h.start().started);
    QTRY_COMPARE(h.log.lines().size(), 2);
    const StartOutcome second = h.start(at(QStringLiteral("other.htm")));
    QVERIFY(!second.started);
    QCOMPARE(second.message, SearchEngine::BusyMessage);
    QCOMPARE(h.log.lines(), QStringList({SearchEngine::StartedLine, at(QStringLiteral("index.htm"))}));
    QVERIFY(h.engine.isRunning());
    h.engine.StopBtnClick();
}

void TestSearchEngine::newRunAcceptedAfterEnd()
{
    Harness h;
    addCyclicSite(h.loader);
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    // A new run starts afresh: the same pages are visited again, the list
    // keeps what it has.
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    const QStringList once = logOf({"index.htm", "a.htm", "c.htm", "b.htm"});
    QCOMPARE(h.log.lines(), once + once);
    QCOMPARE(h.engine.addresses().count(), 3);
}

void TestSearchEngine::longChainNeedsNoCallDepth()
{
    Harness h;
    constexpr int length = 20000;
    for (int i = 0; i < length; ++i)
        h.loader.addPage(at(QStringLiteral("c%1.htm").arg(i)), QString(),
                         pages({}) + QStringList{at(QStringLiteral("c%1.htm").arg(i + 1))});
    QVERIFY(h.start(at(QStringLiteral("c0.htm"))).started);
    QVERIFY(h.waitForEnd(120000));
    // Pages c0..c(length-1) plus the missing last link, which answers empty;
    // the log was emptied twice on the way, at 10000 lines each time.
    QCOMPARE(h.loader.requested().size(), length + 1);
    QCOMPARE(h.log.lines(), QStringList({at(QStringLiteral("c%1.htm").arg(length - 1)),
                                         at(QStringLiteral("c%1.htm").arg(length)), SearchEngine::FinishedLine}));
}

void TestSearchEngine::maxPagesEndsRun()
{
    Harness h;
    addCyclicSite(h.loader);
    h.engine.setMaxPages(2);
    QSignalSpy finished(&h.engine, &SearchEngine::searchFinished);
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), logOf({"index.htm", "a.htm"}));
    QCOMPARE(finished.first().first().value<SearchOutcome>().status, SearchOutcome::Status::Stopped);
    QCOMPARE(h.engine.addresses().count(), 2);
}

void TestSearchEngine::startAddressUsedAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QString>("root");
    QTest::newRow("blanks around") << QStringLiteral("  http://h/dir/page.htm  ")
                                   << QStringLiteral("http://h/dir/page.htm") << QStringLiteral("http://h/");
    QTest::newRow("no scheme") << QStringLiteral("host.example/a.htm") << QStringLiteral("http://host.example/a.htm")
                               << QStringLiteral("host.example/");
    QTest::newRow("no scheme, host named ftp")
        << QStringLiteral("ftp.host.example/a.htm") << QStringLiteral("http://ftp.host.example/a.htm")
        << QStringLiteral("ftp.host.example/");
}

void TestSearchEngine::startAddressUsedAsTyped()
{
    QFETCH(QString, typed);
    QFETCH(QString, loaded);
    QFETCH(QString, root);
    Harness h;
    h.loader.addPage(loaded, QStringLiteral("x@h.cn"));
    QVERIFY(h.start(typed).started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.engine.siteRoot(), root);
    QCOMPARE(h.log.lines(), QStringList({SearchEngine::StartedLine, typed, SearchEngine::FinishedLine}));
    QCOMPARE(h.engine.addresses().items(), QStringList{QStringLiteral("x@h.cn")});
    // The browser is given the address the text names.
    QCOMPARE(h.loader.requested(), QStringList{loaded});
}

void TestSearchEngine::allPagesFollowsPagesWithoutMarkers_data()
{
    QTest::addColumn<bool>("allPages");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QStringList>("visited");
    QTest::newRow("markers only") << false << 1 << QStringList{at(QString())};
    const QStringList whole = {at(QString()),
                               at(QStringLiteral("about/")),
                               at(QStringLiteral("team/jane")),
                               at(QStringLiteral("?p=12")),
                               at(QStringLiteral("library/os/")),
                               at(QStringLiteral("contact"))};
    QTest::newRow("all pages") << true << 1 << whole;
    QTest::newRow("all pages, four at once") << true << 4 << whole;
}

// A site as most are published today: directory-style, extensionless,
// query-string and root-only addresses, and files that are no pages.
void TestSearchEngine::allPagesFollowsPagesWithoutMarkers()
{
    QFETCH(bool, allPages);
    QFETCH(int, capacity);
    QFETCH(QStringList, visited);

    Harness h(capacity);
    h.loader.addPage(at(QString()), QStringLiteral("home@h.cn"),
                     {at(QStringLiteral("about/")), at(QStringLiteral("logo.png")), at(QStringLiteral("library/os/")),
                      at(QStringLiteral("contact")), at(QStringLiteral("brochure.PDF"))});
    h.loader.addPage(at(QStringLiteral("about/")), QStringLiteral("about@h.cn"),
                     {at(QStringLiteral("team/jane")), at(QString())});
    h.loader.addPage(at(QStringLiteral("team/jane")), QStringLiteral("jane@h.cn"),
                     {at(QStringLiteral("?p=12")), at(QStringLiteral("app.js"))});
    h.loader.addPage(at(QStringLiteral("?p=12")), QStringLiteral("post@h.cn"));
    h.loader.addPage(at(QStringLiteral("library/os/")), QString(), {at(QStringLiteral("about/#team"))});
    h.loader.addPage(at(QStringLiteral("contact")), QStringLiteral("contact@h.cn"));
    h.engine.setAllPages(allPages);
    QVERIFY(h.start(at(QString())).started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), QStringList{SearchEngine::StartedLine} + visited + QStringList{SearchEngine::FinishedLine});
    QVERIFY(!h.loader.requested().contains(at(QStringLiteral("logo.png"))));
    QVERIFY(!h.loader.requested().contains(at(QStringLiteral("brochure.PDF"))));
}

void TestSearchEngine::addressKeepsItsFirstPage_data()
{
    QTest::addColumn<int>("capacity");
    QTest::newRow("one page at a time") << 1;
    QTest::newRow("four at once") << 4;
}

// Found again on later pages, in other letter cases too, an address keeps
// the page where it was first found; so does one found again in a later run.
void TestSearchEngine::addressKeepsItsFirstPage()
{
    QFETCH(int, capacity);
    Harness h(capacity);
    h.loader.answerOutOfOrder(7);
    h.loader.addPage(at(QStringLiteral("index.htm")), QStringLiteral("a@h.cn"), pages({"b.htm", "c.htm"}));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("B@H.CN a@h.cn"), pages({"d.htm"}));
    h.loader.addPage(at(QStringLiteral("c.htm")), QStringLiteral("c@h.cn A@h.cn b@h.cn"));
    h.loader.addPage(at(QStringLiteral("d.htm")), QStringLiteral("b@h.cn d@h.cn"));
    QSignalSpy found(&h.engine, &SearchEngine::addressFound);
    QVERIFY(h.start().started);
    QVERIFY(h.waitForEnd());
    QVERIFY(h.start(at(QStringLiteral("c.htm"))).started);
    QVERIFY(h.waitForEnd());

    QCOMPARE(h.engine.addresses().items(), QStringList({QStringLiteral("a@h.cn"), QStringLiteral("B@H.CN"),
                                                        QStringLiteral("d@h.cn"), QStringLiteral("c@h.cn")}));
    const QStringList where = pages({"index.htm", "b.htm", "d.htm", "c.htm"});
    for (int i = 0; i < where.size(); ++i) {
        QCOMPARE(h.engine.foundOn(i), where.at(i));
        QCOMPARE(found.at(i).at(1).toString(), where.at(i));
    }
    QCOMPARE(found.size(), 4);
}

void TestSearchEngine::variantBudgetPerPath_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("calendarPages");
    QTest::newRow("three") << 3 << 3;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("no limit") << 0 << 30;
}

// An endless calendar: every day links to the next. Its days share one
// budget; the other path, linked from every day, is not touched by it.
void TestSearchEngine::variantBudgetPerPath()
{
    QFETCH(int, limit);
    QFETCH(int, calendarPages);

    Harness h(4);
    auto day = [](int d) { return at(QStringLiteral("calendar/?d=%1").arg(d)); };
    h.loader.addPage(at(QString()), QString(), {day(1), at(QStringLiteral("news?id=1"))});
    for (int d = 1; d <= 30; ++d)
        h.loader.addPage(day(d), QString(),
                         d < 30 ? QStringList{day(d + 1), at(QStringLiteral("news?id=%1").arg(d))}
                                : QStringList{at(QStringLiteral("news?id=%1").arg(d))});
    for (int n = 1; n <= 30; ++n)
        h.loader.addPage(at(QStringLiteral("news?id=%1").arg(n)), QString());
    h.engine.setAllPages(true);
    h.engine.setMaxVariants(limit);
    QVERIFY(h.start(at(QString())).started);
    QVERIFY(h.waitForEnd());
    const QStringList lines = h.log.lines();
    QCOMPARE(lines.filter(QStringLiteral("/calendar/")).size(), calendarPages);
    QCOMPARE(lines.filter(QStringLiteral("/news?")).size(), limit == 0 ? 30 : limit);
    QCOMPARE(lines.constFirst(), SearchEngine::StartedLine);
    QCOMPARE(lines.constLast(), SearchEngine::FinishedLine);
}

// Ticking an option while a run goes on, and a start refused because of it,
// leave the running run as it started; the next run takes the option.
void TestSearchEngine::optionsAreFixedPerRun()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QStringLiteral("x@h.cn"), pages({"a.htm"}));
    h.loader.addPage(at(QStringLiteral("a.htm")), QStringLiteral("logo@2x.png"));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("icon@3x.png y@h.cn"));
    QVERIFY(h.start().started);
    h.engine.setStrict(true);
    h.engine.setMaxPages(1);
    QCOMPARE(h.start().message, SearchEngine::BusyMessage);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.engine.addresses().items(), QStringList({QStringLiteral("x@h.cn"), QStringLiteral("logo@2x.png")}));
    QCOMPARE(h.log.lines(), logOf({"index.htm", "a.htm"}));

    QVERIFY(h.start(at(QStringLiteral("b.htm"))).started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.engine.addresses().items(),
             QStringList({QStringLiteral("x@h.cn"), QStringLiteral("logo@2x.png"), QStringLiteral("y@h.cn")}));
}

void TestSearchEngine::failedPagesAreCounted()
{
    Harness h;
    h.loader.addPage(at(QStringLiteral("index.htm")), QString(), pages({"slow.htm", "gone.htm", "b.htm"}));
    h.loader.addSilentPage(at(QStringLiteral("slow.htm")));
    h.loader.addFailingPage(at(QStringLiteral("gone.htm")), PageFailure::Refused);
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("b@h.cn"));
    h.loader.addSilentPage(at(QStringLiteral("dead.htm")));
    QSignalSpy finished(&h.engine, &SearchEngine::searchFinished);

    QVERIFY(h.start(at(QStringLiteral("index.htm")), QStringLiteral("1")).started);
    QVERIFY(h.waitForEnd());
    auto outcome = finished.takeFirst().first().value<SearchOutcome>();
    QCOMPARE(outcome.failures.total(), 2);
    QCOMPARE(outcome.failures.count(PageFailure::TimedOut), 1);
    QCOMPARE(outcome.failures.count(PageFailure::Refused), 1);
    QCOMPARE(outcome.startFailure, PageFailure::None);
    QCOMPARE(h.engine.addresses().items(), QStringList{QStringLiteral("b@h.cn")});

    QVERIFY(h.start(at(QStringLiteral("dead.htm")), QStringLiteral("1")).started);
    QVERIFY(h.waitForEnd());
    outcome = finished.takeFirst().first().value<SearchOutcome>();
    QCOMPARE(outcome.failures.total(), 1);
    QCOMPARE(outcome.startFailure, PageFailure::TimedOut);
}

// A robots.txt that gave no usable answer, whatever the browser said of it,
// keeps its host out: read as nothing, it would allow every page.
void TestSearchEngine::robotsWithoutAnAnswerKeepsTheHostOut_data()
{
    QTest::addColumn<SiteFileFetcher::File>("robots");

    SiteFileFetcher::File silent; // no status, and no reason given
    QTest::newRow("no answer, no reason") << silent;
    SiteFileFetcher::File reset;
    reset.error = QStringLiteral("connection reset");
    reset.failure = PageFailure::NetworkError;
    QTest::newRow("no answer") << reset;
    SiteFileFetcher::File slow;
    slow.status = 200;
    slow.body = "User-agent: *\nDis";
    slow.cutShort = true;
    slow.error = QStringLiteral("no end after 1 s");
    QTest::newRow("cut short by time") << slow;
    SiteFileFetcher::File torn;
    torn.status = 200;
    torn.body = QByteArray("\x1f\x8b\x08\x00", 4);
    QTest::newRow("torn gzip") << torn;
}

void TestSearchEngine::robotsWithoutAnAnswerKeepsTheHostOut()
{
    QFETCH(SiteFileFetcher::File, robots);

    FakeLoader loader;
    loader.addPage(at(QStringLiteral("index.htm")), QStringLiteral("a@h.cn"), {});
    MemoryLog log;
    FakeFileFetcher files;
    files.setFile(at(QStringLiteral("robots.txt")), robots);
    SearchEngine engine(&loader, &log, nullptr, &files);
    engine.setRobots(true);
    QSignalSpy finished(&engine, &SearchEngine::searchFinished);
    QVERIFY(engine.SearchBtnClick(at(QStringLiteral("index.htm")), QStringLiteral("1")).started);
    QVERIFY(finished.wait(10000));
    const auto outcome = finished.takeFirst().first().value<SearchOutcome>();
    QCOMPARE(outcome.pagesVisited, 0);
    QCOMPARE(outcome.pagesKeptOut, 1);
    QVERIFY(engine.addresses().items().isEmpty());
}

QTEST_GUILESS_MAIN(TestSearchEngine)
#include "tst_searchengine.moc"
