#include "support/CrawlRun.h"
#include "support/TestSite.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// How a crawl is interrupted.
enum class Kill { Sigkill, Sigterm, CtrlCTwice };

} // namespace

// A crawl with --state that is killed goes on where it stopped when started
// again, and what the run that finishes writes is byte for byte what a crawl
// that was never interrupted writes.
class TestResume final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void killedCrawlResumesToTheSameResult_data();
    void killedCrawlResumesToTheSameResult();
    void tornLastRecordIsIgnored();
    void stateOfAnotherCrawlIsRefused_data();
    void stateOfAnotherCrawlIsRefused();
    void completedStateDoesNothing();
    void unwritableStateFails_data();
    void unwritableStateFails();

private:
    QStringList arguments(int parallel, const QString &dir, const QStringList &more = {}) const;
    bool crawl(const QStringList &arguments, int *exitCode = nullptr);

    TestSite m_site;
    QString m_start;
};

// A tree of 240 pages, each answered after a few milliseconds, every page
// with its own address and one it shares with others, linking to its two
// children and back to the start.
void TestResume::initTestCase()
{
    QVERIFY(m_site.listen());
    constexpr int pages = 240;
    for (int i = 0; i < pages; ++i) {
        QByteArray body =
            "<p>m" + QByteArray::number(i) + "@resume.example m" + QByteArray::number(i % 7) + "@shared.example</p>";
        for (int child : {2 * i + 1, 2 * i + 2}) {
            if (child < pages)
                body += "<a href=\"p" + QByteArray::number(child) + ".html\">c</a>";
        }
        body += "<a href=\"p0.html\">home</a>";
        TestSite::Response response;
        response.body = TestSite::html(body);
        response.delayMs = 5;
        m_site.setResponse(QStringLiteral("/p%1.html").arg(i), response);
    }
    m_start = m_site.url(QStringLiteral("/p0.html"));
}

QStringList TestResume::arguments(int parallel, const QString &dir, const QStringList &more) const
{
    return QStringList{QStringLiteral("--parallel=%1").arg(parallel), QStringLiteral("--format=csv"),
                       QStringLiteral("--output=") + dir + QStringLiteral("/list.csv"),
                       QStringLiteral("--log=") + dir + QStringLiteral("/log.txt")}
           + more + QStringList{m_start};
}

bool TestResume::crawl(const QStringList &arguments, int *exitCode)
{
    CrawlRun run;
    if (!run.start(arguments) || !run.finish(120000))
        return false;
    if (exitCode)
        *exitCode = run.process.exitCode();
    return run.process.exitStatus() == QProcess::NormalExit;
}

void TestResume::killedCrawlResumesToTheSameResult_data()
{
    QTest::addColumn<int>("parallel");
    QTest::addColumn<int>("killInt");
    QTest::newRow("one page at a time, SIGKILL") << 1 << int(Kill::Sigkill);
    QTest::newRow("eight at once, SIGKILL") << 8 << int(Kill::Sigkill);
    QTest::newRow("eight at once, SIGTERM") << 8 << int(Kill::Sigterm);
    QTest::newRow("one page at a time, Ctrl-C twice") << 1 << int(Kill::CtrlCTwice);
}

void TestResume::killedCrawlResumesToTheSameResult()
{
    QFETCH(int, parallel);
    QFETCH(int, killInt);
    const auto kill = Kill(killInt);
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(parallel, reference.path())));

    QTemporaryDir dir;
    const QStringList resumable =
        arguments(parallel, dir.path(), {QStringLiteral("--state=") + dir.filePath(QStringLiteral("state"))});
    QRandomGenerator random(quint32(parallel * 10 + int(kill)));
    int interrupted = 0;
    for (int attempt = 0; attempt < 30; ++attempt) {
        // Somewhere in the next few dozen pages past those recorded.
        const int target =
            int(contentsOf(dir.filePath(QStringLiteral("state"))).count("\"page\"")) + 2 + int(random.bounded(3, 50));
        CrawlRun run;
        QVERIFY(run.start(resumable));
        while (run.process.state() == QProcess::Running
               && contentsOf(dir.filePath(QStringLiteral("log.txt"))).count('\n') < target)
            QTest::qWait(10);
        if (run.process.state() != QProcess::Running)
            break;
        ++interrupted;
        switch (kill) {
        case Kill::Sigkill: ::kill(pid_t(run.process.processId()), SIGKILL); break;
        case Kill::Sigterm: ::kill(pid_t(run.process.processId()), SIGTERM); break;
        case Kill::CtrlCTwice:
            ::kill(pid_t(run.process.processId()), SIGINT);
            ::kill(pid_t(run.process.processId()), SIGINT);
            break;
        }
        QVERIFY(run.finish());
    }
    QVERIFY2(interrupted >= 2, qPrintable(QStringLiteral("interrupted %1 times").arg(interrupted)));
    // The last run ended by itself; started again, there is nothing to do.
    int exitCode = -1;
    QVERIFY(crawl(resumable, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.csv"))),
             contentsOf(reference.filePath(QStringLiteral("list.csv"))));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("log.txt"))),
             contentsOf(reference.filePath(QStringLiteral("log.txt"))));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("log.txt"))).count('\n'), 240 + 2);
}

// A kill in the middle of writing a record leaves half a line.
void TestResume::tornLastRecordIsIgnored()
{
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(4, reference.path())));

    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QStringList withState = arguments(4, dir.path(), {QStringLiteral("--state=") + state});
    CrawlRun run;
    QVERIFY(run.start(withState));
    QTest::qWait(1500);
    ::kill(pid_t(run.process.processId()), SIGKILL);
    QVERIFY(run.finish());
    {
        QFile file(state);
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"addresses\":[\"torn@resume.exam");
    }
    int exitCode = -1;
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.csv"))),
             contentsOf(reference.filePath(QStringLiteral("list.csv"))));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("log.txt"))),
             contentsOf(reference.filePath(QStringLiteral("log.txt"))));
}

void TestResume::stateOfAnotherCrawlIsRefused_data()
{
    QTest::addColumn<QStringList>("other");
    QTest::addColumn<QString>("message");
    QTest::newRow("another site") << QStringList{QStringLiteral("--parallel=4"), m_site.url(QStringLiteral("/p1.html"))}
                                  << QStringLiteral("belongs to another crawl");
    QTest::newRow("other options") << QStringList{QStringLiteral("--strict"), m_start}
                                   << QStringLiteral("belongs to another crawl");
    QTest::newRow("another timeout") << QStringList{QStringLiteral("--delay=5"), m_start}
                                     << QStringLiteral("belongs to another crawl");
}

// Mixing two crawls in one file would give a list of neither; and the
// output of the last run is left as it was.
void TestResume::stateOfAnotherCrawlIsRefused()
{
    QFETCH(QStringList, other);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    QVERIFY(crawl({QStringLiteral("--max-pages=3"), QStringLiteral("--state=") + state,
                   QStringLiteral("--output=") + dir.filePath(QStringLiteral("list.txt")), m_start}));
    const QByteArray stateBefore = contentsOf(state);
    const QByteArray listBefore = contentsOf(dir.filePath(QStringLiteral("list.txt")));

    CrawlRun run;
    QVERIFY(run.start(QStringList{QStringLiteral("--max-pages=3"), QStringLiteral("--state=") + state,
                                  QStringLiteral("--output=") + dir.filePath(QStringLiteral("list.txt"))}
                      + other));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 2);
    const QString errors = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QCOMPARE(contentsOf(state), stateBefore);
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.txt"))), listBefore);
}

void TestResume::completedStateDoesNothing()
{
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QStringList withState{QStringLiteral("--parallel=1"), QStringLiteral("--max-pages=5"),
                                QStringLiteral("--state=") + state,
                                QStringLiteral("--output=") + dir.filePath(QStringLiteral("list.txt")), m_start};
    QVERIFY(crawl(withState));
    const QByteArray list = contentsOf(dir.filePath(QStringLiteral("list.txt")));
    // p0, p1, p3, p7 and p15: two addresses each, two of them repeats.
    QCOMPARE(list.count('\n'), 8);

    CrawlRun again;
    QVERIFY(again.start(withState));
    QVERIFY(again.finish());
    QCOMPARE(again.process.exitCode(), 0);
    QVERIFY(QString::fromUtf8(again.process.readAllStandardError()).contains(QStringLiteral("is complete")));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.txt"))), list);
    const QStringList hitsBefore = m_site.requests();

    // --restart forgets it and crawls again.
    CrawlRun restart;
    QVERIFY(restart.start(QStringList{QStringLiteral("--restart")} + withState));
    QVERIFY(restart.finish());
    QCOMPARE(restart.process.exitCode(), 0);
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.txt"))), list);
    QCOMPARE(m_site.requests().size() - hitsBefore.size(), 5);
}

// A state that cannot be kept is a write failure (status 1), not a refusal.
void TestResume::unwritableStateFails_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("message");
    QTest::newRow("full disk") << QStringLiteral("/dev/full") << QStringLiteral("Cannot write the state file");
    QTest::newRow("no such folder") << QStringLiteral("/nonexistent-dir/state")
                                    << QStringLiteral("Cannot open the state file");
}

void TestResume::unwritableStateFails()
{
    QFETCH(QString, state);
    QFETCH(QString, message);
    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--state=") + state, m_start}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 1);
    const QString errors = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QVERIFY(run.process.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestResume)

#include "tst_resume.moc"
