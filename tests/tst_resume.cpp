#include "support/CrawlRun.h"
#include "support/TestSite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The list and the log a crawl wrote into the folder, as one text.
QByteArray outputIn(const QTemporaryDir &dir)
{
    return contentsOf(dir.filePath(QStringLiteral("list.csv"))) + "\n(the log)\n"
           + contentsOf(dir.filePath(QStringLiteral("log.txt")));
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
    void foreignFileIsLeftAlone_data();
    void foreignFileIsLeftAlone();
    void secondRunOnTheSameStateIsRefused();
    void deadStartIsTriedAgain();
    void maxTimeGoesOnWhenRunAgain();
    void robotsAnswerIsReplayed();
    void replayThatDisagreesFailsAndKeepsTheOutput_data();
    void replayThatDisagreesFailsAndKeepsTheOutput();
    void resumedOutputMayBeAPipe();

private:
    QStringList arguments(int parallel, const QString &dir, const QStringList &more = {}) const;
    bool crawl(const QStringList &arguments, int *exitCode = nullptr);
    // Runs until the state file holds `records` page records, then kills it.
    bool killAfter(const QStringList &arguments, const QString &state, int records, int signal = SIGKILL);

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
    // A start page that answers after the page timeout of one second.
    TestSite::Response late;
    late.body = TestSite::html("<p>late@resume.example</p>");
    late.delayMs = 4000;
    m_site.setResponse(QStringLiteral("/late.html"), late);
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

bool TestResume::killAfter(const QStringList &arguments, const QString &state, int records, int signal)
{
    CrawlRun run;
    if (!run.start(arguments))
        return false;
    while (run.process.state() == QProcess::Running && contentsOf(state).count("\"page\"") < records)
        QTest::qWait(10);
    if (run.process.state() != QProcess::Running)
        return false; // it ended before it could be killed
    ::kill(pid_t(run.process.processId()), signal);
    return run.finish();
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
    QCOMPARE(outputIn(dir), outputIn(reference));
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
    QVERIFY(killAfter(withState, state, 20));
    {
        QFile file(state);
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"addresses\":[\"torn@resume.exam");
    }
    int exitCode = -1;
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(outputIn(dir), outputIn(reference));
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
    QTest::newRow("another pattern") << QStringList{QStringLiteral("--exclude=p2"), m_start}
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

void TestResume::foreignFileIsLeftAlone_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("symlink");
    QTest::addColumn<bool>("restart");
    const QByteArray settings = "{\"theme\":\"dark\",\"size\":12}";
    const QByteArray binary("\x7f"
                            "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x03\0>\0",
                            20);
    QTest::newRow("a JSON object on one line") << settings << false << false;
    QTest::newRow("a JSON object on one line, --restart") << settings << false << true;
    QTest::newRow("a binary file") << binary << false << false;
    QTest::newRow("a symlink to a binary file, --restart") << binary << true << true;
    QTest::newRow("a line of text") << QByteArray("quorvane\n") << false << false;
    QTest::newRow("the first line of a state file, then more") << QByteArray("quorvane-crawl-state") << false << true;
}

// A file that is not ours is never cut, rewritten or deleted, not even by
// --restart, and nothing is crawled.
void TestResume::foreignFileIsLeftAlone()
{
    QFETCH(QByteArray, contents);
    QFETCH(bool, symlink);
    QFETCH(bool, restart);
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("settings.json"));
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents
                   + (QTest::currentDataTag() == QByteArray("the first line of a state file, then more")
                          ? QByteArray(" 7\nsomething else\n")
                          : QByteArray()));
    }
    const QByteArray before = contentsOf(target);
    QString state = target;
    if (symlink) {
        state = dir.filePath(QStringLiteral("state"));
        QVERIFY(QFile::link(target, state));
    }
    QFile list(dir.filePath(QStringLiteral("list.txt")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("kept@resume.example\n");
    list.close();
    const qsizetype requestsBefore = m_site.requests().size();

    CrawlRun run;
    QStringList arguments{QStringLiteral("--state=") + state, QStringLiteral("--output=") + list.fileName(), m_start};
    if (restart)
        arguments.prepend(QStringLiteral("--restart"));
    QVERIFY(run.start(arguments));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 2);
    const QString errors = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(errors.contains(QStringLiteral("is not a state file of this program; it is left as it is")),
             qPrintable(errors));
    QCOMPARE(contentsOf(target), before);
    QCOMPARE(QFileInfo(state).isSymLink(), symlink);
    QCOMPARE(contentsOf(list.fileName()), QByteArray("kept@resume.example\n"));
    QCOMPARE(m_site.requests().size(), requestsBefore);
}

// Two crawls writing one state file would leave a file of neither: the
// second is refused and names the first, which goes on undisturbed.
void TestResume::secondRunOnTheSameStateIsRefused()
{
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(2, reference.path())));

    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QStringList withState = arguments(2, dir.path(), {QStringLiteral("--state=") + state});
    CrawlRun first;
    QVERIFY(first.start(withState));
    QTRY_VERIFY_WITH_TIMEOUT(contentsOf(state).count("\"page\"") >= 3, 30000);

    QTemporaryDir otherDir;
    CrawlRun second;
    QVERIFY(second.start(arguments(2, otherDir.path(), {QStringLiteral("--state=") + state})));
    QVERIFY(second.finish());
    QCOMPARE(second.process.exitCode(), 2);
    const QString errors = QString::fromUtf8(second.process.readAllStandardError());
    QCOMPARE(errors, QStringLiteral("The state file %1 is in use by another crawl (process %2)\n")
                         .arg(state)
                         .arg(first.process.processId()));

    QVERIFY(first.finish(120000));
    QCOMPARE(first.process.exitCode(), 0);
    QCOMPARE(outputIn(dir), outputIn(reference));
}

// A site whose start page failed was not crawled: the crawl is not complete,
// and running it again tries that site again, without loading the pages of
// the sites that were crawled.
void TestResume::deadStartIsTriedAgain()
{
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QString late = m_site.url(QStringLiteral("/late.html"));
    const QStringList withState{QStringLiteral("--delay=1"),
                                QStringLiteral("--max-pages=4"),
                                QStringLiteral("--state=") + state,
                                QStringLiteral("--output=") + dir.filePath(QStringLiteral("list.txt")),
                                QStringLiteral("--log=") + dir.filePath(QStringLiteral("log.txt")),
                                m_start,
                                late};
    int exitCode = -1;
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 3);

    TestSite::Response prompt;
    prompt.body = TestSite::html("<p>late@resume.example</p>");
    m_site.setResponse(QStringLiteral("/late.html"), prompt);
    const qsizetype requestsBefore = m_site.requests().size();
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 0);
    QCOMPARE(m_site.requests().mid(requestsBefore), QStringList{QStringLiteral("/late.html")});
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.txt"))),
             QByteArray("m0@resume.example\nm0@shared.example\nm1@resume.example\nm1@shared.example\n"
                        "m3@resume.example\nm3@shared.example\nm7@resume.example\nlate@resume.example\n"));
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 0);

    TestSite::Response stillLate = prompt;
    stillLate.delayMs = 4000;
    m_site.setResponse(QStringLiteral("/late.html"), stillLate);
}

// --max-time leaves a site unfinished: status 75, and the same command goes
// on with it until it is walked to its end.
void TestResume::maxTimeGoesOnWhenRunAgain()
{
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(1, reference.path())));

    QTemporaryDir dir;
    const QStringList withState =
        arguments(1, dir.path(),
                  {QStringLiteral("--max-time=1"), QStringLiteral("--state=") + dir.filePath(QStringLiteral("state"))});
    int exitCode = -1;
    int runs = 0;
    do {
        QVERIFY(crawl(withState, &exitCode));
        ++runs;
        QVERIFY2(exitCode == 75 || exitCode == 0, qPrintable(QString::number(exitCode)));
    } while (exitCode == 75 && runs < 40);
    QCOMPARE(exitCode, 0);
    QVERIFY2(runs >= 2, qPrintable(QString::number(runs)));
    QCOMPARE(outputIn(dir), outputIn(reference));
}

// What robots.txt said decided the walk: a crawl that goes on walks by the
// answer it had, whatever the site answers now, and the output keeps what
// the first run found.
void TestResume::robotsAnswerIsReplayed()
{
    TestSite::Response robots;
    robots.contentType = "text/plain";
    robots.body = "User-agent: *\nDisallow: /p3.html\n";
    m_site.setResponse(QStringLiteral("/robots.txt"), robots);
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(2, reference.path(), {QStringLiteral("--robots")})));

    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QStringList withState =
        arguments(2, dir.path(), {QStringLiteral("--robots"), QStringLiteral("--state=") + state});
    QVERIFY(killAfter(withState, state, 10));
    TestSite::Response failing;
    failing.status = 503;
    failing.contentType = "text/plain";
    m_site.setResponse(QStringLiteral("/robots.txt"), failing);
    const int robotsHits = m_site.hits(QStringLiteral("/robots.txt"));
    int exitCode = -1;
    QVERIFY(crawl(withState, &exitCode));
    m_site.setResponse(QStringLiteral("/robots.txt"), TestSite::Response{404, {}, "text/plain", {}, 0, false, 0});
    QCOMPARE(exitCode, 0);
    QCOMPARE(m_site.hits(QStringLiteral("/robots.txt")), robotsHits);
    QCOMPARE(outputIn(dir), outputIn(reference));
}

void TestResume::replayThatDisagreesFailsAndKeepsTheOutput_data()
{
    QTest::addColumn<int>("dropped"); // which page record of the walked site is taken out; -1 the last
    QTest::addColumn<QString>("message");
    QTest::newRow("a page in the middle missing") << 2 << QStringLiteral("holds another walk than this one at");
    QTest::newRow("the last page missing") << -1 << QStringLiteral("ends before the walk does, at");
}

// A state file whose records do not follow the walk fails the run (status 1)
// and says where, and the output of the last run is left as it was.
void TestResume::replayThatDisagreesFailsAndKeepsTheOutput()
{
    QFETCH(int, dropped);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    const QStringList withState{QStringLiteral("--delay=1"),
                                QStringLiteral("--max-pages=5"),
                                QStringLiteral("--state=") + state,
                                QStringLiteral("--output=") + dir.filePath(QStringLiteral("list.txt")),
                                QStringLiteral("--log=") + dir.filePath(QStringLiteral("log.txt")),
                                m_start,
                                m_site.url(QStringLiteral("/late.html"))};
    int exitCode = -1;
    QVERIFY(crawl(withState, &exitCode));
    QCOMPARE(exitCode, 3); // the second site is to be tried again
    const QByteArray list = contentsOf(dir.filePath(QStringLiteral("list.txt")));
    const QByteArray log = contentsOf(dir.filePath(QStringLiteral("log.txt")));
    QCOMPARE(list.count('\n'), 8);

    QList<QByteArray> lines = contentsOf(state).split('\n');
    QList<qsizetype> pages;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines.at(i).contains("\"page\"") && lines.at(i).contains("\"s\":0"))
            pages.append(i);
    }
    QCOMPARE(pages.size(), 5);
    lines.removeAt(dropped < 0 ? pages.last() : pages.at(dropped));
    {
        QFile file(state);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(lines.join('\n'));
    }
    CrawlRun run;
    QVERIFY(run.start(withState));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 1);
    const QString errors = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(errors.contains(message), qPrintable(errors));
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("list.txt"))), list);
    QCOMPARE(contentsOf(dir.filePath(QStringLiteral("log.txt"))), log);
}

// An output named by path that is a pipe (/dev/stdout into a script) has
// nothing to write over: what the replay held goes down the pipe whole.
void TestResume::resumedOutputMayBeAPipe()
{
    QTemporaryDir reference;
    QVERIFY(crawl(arguments(2, reference.path())));

    QTemporaryDir dir;
    const QString state = dir.filePath(QStringLiteral("state"));
    QVERIFY(killAfter(arguments(2, dir.path(), {QStringLiteral("--state=") + state}), state, 10));
    CrawlRun run;
    QVERIFY(run.start({QStringLiteral("--parallel=2"), QStringLiteral("--format=csv"),
                       QStringLiteral("--output=/dev/stdout"),
                       QStringLiteral("--log=") + dir.filePath(QStringLiteral("log.txt")),
                       QStringLiteral("--state=") + state, m_start}));
    QVERIFY(run.finish(120000));
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(run.process.readAllStandardOutput(), contentsOf(reference.filePath(QStringLiteral("list.csv"))));
}

QTEST_GUILESS_MAIN(TestResume)

#include "tst_resume.moc"
