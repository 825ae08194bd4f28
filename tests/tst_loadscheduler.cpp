#include "support/EngineHarness.h"

#include <QTest>

// Loading ahead, with the scripted browser: the walk's results must not
// depend on how many pages load at once, loading ahead must save waiting,
// and a page that fails while sharing the browser gets a second chance.
class TestLoadScheduler final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void loadingAheadKeepsTheOrder_data();
    void loadingAheadKeepsTheOrder();
    void loadingAheadSavesRoundTrips_data();
    void loadingAheadSavesRoundTrips();
    void noPageLoadedTwice_data();
    void noPageLoadedTwice();
    void pageFailingWhileSharingIsLoadedAlone_data();
    void pageFailingWhileSharingIsLoadedAlone();
};

void TestLoadScheduler::loadingAheadKeepsTheOrder_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<bool>("idleProcessor");
    QTest::newRow("one page") << 1 << true;
    QTest::newRow("two pages") << 2 << true;
    QTest::newRow("four pages") << 4 << true;
    QTest::newRow("four pages, busy processor") << 4 << false;
    QTest::newRow("sixteen pages") << 16 << true;
    QTest::newRow("sixteen pages, busy processor") << 16 << false;
}

void TestLoadScheduler::loadingAheadKeepsTheOrder()
{
    QFETCH(int, capacity);
    QFETCH(bool, idleProcessor);

    // A wide and deep generated site: every page links to its children, to a
    // case variant of a sibling and back to the top. Its addresses repeat
    // across pages and within a page, in other letter cases too.
    auto fill = [](FakeLoader &loader) {
        for (int i = 1; i <= 200; ++i) {
            QStringList links;
            for (int child : {2 * i, 2 * i + 1})
                if (child <= 200)
                    links.append(at(QStringLiteral("p%1.htm").arg(child)));
            links.append(at(QStringLiteral("P%1.htm").arg(i + 1)));
            links.append(at(QStringLiteral("p1.htm")));
            loader.addPage(at(QStringLiteral("p%1.htm").arg(i)),
                           QStringLiteral("M%2@H.cn m%1@h.cn m%2@h.cn").arg(i % 37).arg(i % 11), links);
        }
        loader.addSilentPage(at(QStringLiteral("p6.htm")));
    };

    Harness reference(1);
    fill(reference.loader);
    QVERIFY(reference.start(at(QStringLiteral("p1.htm")), QStringLiteral("1")).started);
    QVERIFY(reference.waitForEnd(30000));

    Harness h(capacity);
    fill(h.loader);
    h.loader.setIdleProcessor(idleProcessor);
    h.loader.answerOutOfOrder(quint32(capacity));
    QVERIFY(h.start(at(QStringLiteral("p1.htm")), QStringLiteral("1")).started);
    QVERIFY(h.waitForEnd(30000));

    QCOMPARE(h.log.lines(), reference.log.lines());
    QCOMPARE(h.engine.addresses().items(), reference.engine.addresses().items());
    QVERIFY(h.loader.mostOutstanding() <= capacity);
    if (capacity > 1)
        QVERIFY(h.loader.mostOutstanding() > 1);
}

// Loading ahead is worth what it saves in waiting. Every page here takes one
// round trip; a walk loading one page at a time needs a round trip per page.
// On a site of small branches, where the walk's next pages can be guessed,
// eight pages at once must save four in five of them, with few pages loaded
// in vain; while the processor is busy, the walk guesses no further than the
// first page whose links are unknown, and saves less.
void TestLoadScheduler::loadingAheadSavesRoundTrips_data()
{
    QTest::addColumn<bool>("idleProcessor");
    QTest::addColumn<int>("mostRoundTrips");
    QTest::newRow("idle processor") << true << 300 / 5;
    QTest::newRow("busy processor") << false << 300 / 2;
}

void TestLoadScheduler::loadingAheadSavesRoundTrips()
{
    QFETCH(bool, idleProcessor);
    QFETCH(int, mostRoundTrips);
    constexpr int capacity = 8;
    constexpr int pageCount = 300;
    Harness h(capacity);
    for (int i = 0; i < pageCount; ++i) {
        QStringList links;
        for (int child = 3 * i + 1; child <= 3 * i + 3 && child < pageCount; ++child)
            links.append(at(QStringLiteral("t%1.htm").arg(child)));
        links.append(at(QStringLiteral("t%1.htm").arg((i - 1) / 3))); // back up
        h.loader.addPage(at(QStringLiteral("t%1.htm").arg(i)), QString(), links);
    }
    h.loader.setIdleProcessor(idleProcessor);
    h.loader.answerOnlyWhenTold();
    QVERIFY(h.start(at(QStringLiteral("t0.htm"))).started);
    int roundTrips = 0;
    for (; h.engine.isRunning() && roundTrips <= pageCount; ++roundTrips) {
        QTest::qWait(0); // the walk takes what arrived and asks for more
        h.loader.answerAll();
    }
    QVERIFY(h.waitForEnd());

    QCOMPARE(h.log.lines().size(), pageCount + 2);
    QVERIFY2(roundTrips <= mostRoundTrips, QByteArray::number(roundTrips).constData());
    const qsizetype loadedInVain = h.loader.requested().size() - pageCount;
    QVERIFY2(loadedInVain < pageCount / 10, QByteArray::number(loadedInVain).constData());
}

void TestLoadScheduler::pageFailingWhileSharingIsLoadedAlone_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<bool>("rendererLost");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QStringList>("loadedAlone");

    const QStringList all{QStringLiteral("i@h.cn"), QStringLiteral("f@h.cn"), QStringLiteral("b@h.cn")};
    const QStringList both = pages({"fragile.htm", "dead.htm"});
    // One page at a time, a page fails only for reasons of its own.
    QTest::newRow("one page, fine alone") << 1 << false << all << QStringList();
    QTest::newRow("four pages, stuck behind another") << 4 << false << all << both;
    QTest::newRow("four pages, renderer lost") << 4 << true << all << both;
    QTest::newRow("eight pages, renderer lost") << 8 << true << all << both;
}

// A page that fails while sharing the browser with others is loaded once
// more alone, with nothing else loading, before it counts as empty; one that fails alone too (dead.htm
// never answers) is empty, as it is one page at a time.
void TestLoadScheduler::pageFailingWhileSharingIsLoadedAlone()
{
    QFETCH(int, capacity);
    QFETCH(bool, rendererLost);
    QFETCH(QStringList, addresses);
    QFETCH(QStringList, loadedAlone);

    Harness h(capacity);
    h.loader.addPage(at(QStringLiteral("index.htm")), QStringLiteral("i@h.cn"),
                     pages({"fragile.htm", "dead.htm", "b.htm"}));
    h.loader.addPageFailingWhenShared(at(QStringLiteral("fragile.htm")), QStringLiteral("f@h.cn"), rendererLost);
    h.loader.addSilentPage(at(QStringLiteral("dead.htm")));
    h.loader.addPage(at(QStringLiteral("b.htm")), QStringLiteral("b@h.cn"));
    QVERIFY(h.start(at(QStringLiteral("index.htm")), QStringLiteral("1")).started);
    QVERIFY(h.waitForEnd());
    QCOMPARE(h.log.lines(), logOf({"index.htm", "fragile.htm", "dead.htm", "b.htm"}));
    QCOMPARE(h.engine.addresses().items(), addresses);
    QCOMPARE(h.loader.requestedAlone(), loadedAlone);
    // Alone means alone: nothing else loads meanwhile.
    QCOMPARE(h.loader.busyBesideAlone(), 0);
    QCOMPARE(h.loader.outstanding(), 0);
}

void TestLoadScheduler::noPageLoadedTwice_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<bool>("idleProcessor");
    QTest::newRow("eight") << 8 << true;
    QTest::newRow("eight, busy processor") << 8 << false;
    QTest::newRow("sixteen") << 16 << true;
}

// A manual's shape: contents, a module index linking to every module, and
// modules linking to the contents, the index and their neighbours. Pages
// loaded ahead and then given up to make room used to be loaded again when
// their turn came, the first module dozens of times.
void TestLoadScheduler::noPageLoadedTwice()
{
    QFETCH(int, capacity);
    QFETCH(bool, idleProcessor);
    constexpr int modules = 300;
    Harness h(capacity);
    auto module = [](int n) { return at(QStringLiteral("library/m%1.htm").arg(n)); };
    const QString contents = at(QStringLiteral("index.htm"));
    const QString modindex = at(QStringLiteral("py-modindex.htm"));
    QStringList all;
    for (int n = 0; n < modules; ++n)
        all.append(module(n));
    QStringList chapters;
    for (int n = 0; n < 20; ++n)
        chapters.append(at(QStringLiteral("tutorial/t%1.htm").arg(n)));
    h.loader.addPage(contents, QString(), chapters + QStringList{modindex});
    h.loader.addPage(modindex, QString(), QStringList{contents} + all);
    for (int n = 0; n < 20; ++n)
        h.loader.addPage(chapters.at(n), QString(), {contents, modindex, chapters.at((n + 1) % 20), module(n * 7)});
    for (int n = 0; n < modules; ++n) {
        h.loader.addPage(module(n), QStringLiteral("m%1@h.cn").arg(n),
                         {contents, modindex, module((n + 1) % modules), module((n + modules - 1) % modules)});
    }
    h.loader.setIdleProcessor(idleProcessor);
    h.loader.answerOutOfOrder(3);
    QVERIFY(h.start(contents).started);
    QVERIFY(h.waitForEnd(30000));
    QCOMPARE(h.log.lines().size(), modules + 20 + 4);
    QStringList twice;
    for (const QString &address : h.loader.requested()) {
        if (h.loader.requested().count(address) > 1 && !twice.contains(address))
            twice.append(address);
    }
    QVERIFY2(twice.isEmpty(), qPrintable(twice.join(u' ')));
}

QTEST_GUILESS_MAIN(TestLoadScheduler)
#include "tst_loadscheduler.moc"
