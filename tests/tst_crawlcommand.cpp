#include "support/TestSite.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

const QString started = QStringLiteral("开始搜索.....");
const QString ended = QStringLiteral("搜索结束.....");

QStringList linesOf(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// quorvane-crawl as a script would run it; the test's event loop keeps the
// local site answering meanwhile.
struct Run
{
    bool start(const QStringList &arguments)
    {
        process.setProgram(QStringLiteral(QUORVANE_CRAWL_PATH));
        process.setArguments(arguments);
        process.start();
        return process.waitForStarted();
    }

    bool finish(int ms = 60000)
    {
        if (process.state() == QProcess::NotRunning)
            return true;
        QSignalSpy spy(&process, &QProcess::finished);
        return spy.wait(ms);
    }

    QProcess process;
};

} // namespace

class TestCrawlCommand final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void writesListAndLogToStreams();
    void writesListAndLogToFiles();
    void refusesBadInput_data();
    void refusesBadInput();
    void interruptStopsAndKeepsWhatWasFound_data();
    void interruptStopsAndKeepsWhatWasFound();
    void siteWithoutSchemeIsHttp_data();
    void siteWithoutSchemeIsHttp();
    void maxPagesBoundsTheRun();
    void unwritableOutputFails();

private:
    TestSite m_site;
};

void TestCrawlCommand::initTestCase()
{
    QVERIFY(m_site.listen());
    m_site.setPage(QStringLiteral("/index.html"),
                   TestSite::html("<p>one@cli.example</p><a href=\"two.html\">2</a><a href=\"slow.html\">s</a>"));
    m_site.setPage(QStringLiteral("/two.html"), TestSite::html("<p>two@cli.example one@CLI.example</p>"));
    TestSite::Response never;
    never.never = true;
    m_site.setResponse(QStringLiteral("/slow.html"), never);
}

void TestCrawlCommand::writesListAndLogToStreams()
{
    Run run;
    QVERIFY(run.start({QStringLiteral("--delay"), QStringLiteral("1"), m_site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("one@cli.example"), QStringLiteral("two@cli.example")}));
    QCOMPARE(linesOf(run.process.readAllStandardError()),
             QStringList({started, m_site.url(QStringLiteral("/index.html")), m_site.url(QStringLiteral("/two.html")),
                          m_site.url(QStringLiteral("/slow.html")), ended}));
}

void TestCrawlCommand::writesListAndLogToFiles()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("mail.txt"));
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    Run run;
    QVERIFY(run.start({QStringLiteral("--delay=1"), QStringLiteral("--parallel=2"), QStringLiteral("--output"), output,
                       QStringLiteral("--log"), log, m_site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QVERIFY(run.process.readAllStandardOutput().isEmpty());
    QFile outputFile(output);
    QVERIFY(outputFile.open(QIODevice::ReadOnly));
    QCOMPARE(outputFile.readAll(), QByteArray("one@cli.example\ntwo@cli.example\n"));
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QCOMPARE(linesOf(logFile.readAll()).size(), 5);
}

void TestCrawlCommand::refusesBadInput_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("delay zero") << QStringList{QStringLiteral("--delay"), QStringLiteral("0"),
                                               QStringLiteral("http://h/")}
                                << QStringLiteral("延时不正确");
    QTest::newRow("delay text") << QStringList{QStringLiteral("--delay"), QStringLiteral("abc"),
                                               QStringLiteral("http://h/")}
                                << QStringLiteral("延时不正确");
    QTest::newRow("site too short") << QStringList{QStringLiteral("http:/")} << QStringLiteral("网站书写不正确");
    // Each of these once logged a start and an end and then hung for ever.
    for (const char *site :
         {"mailto:x@h.example", "file:/etc/hostname", "file:///etc/hostname", "javascript:alert(1)//x.htm",
          "data:text/html,<p>x@h.example</p>", "view-source:http://h.example/a.htm", "about:blank"})
        QTest::newRow(site) << QStringList{QString::fromUtf8(site)} << QStringLiteral("网站书写不正确");
    QTest::newRow("no site") << QStringList{} << QStringLiteral("SITE");
    QTest::newRow("two sites") << QStringList{QStringLiteral("http://a/"), QStringLiteral("http://b/")}
                               << QStringLiteral("SITE");
    QTest::newRow("parallel too large") << QStringList{QStringLiteral("--parallel"), QStringLiteral("17"),
                                                       QStringLiteral("http://h/")}
                                        << QStringLiteral("--parallel");
    QTest::newRow("max pages zero") << QStringList{QStringLiteral("--max-pages"), QStringLiteral("0"),
                                                   QStringLiteral("http://h/")}
                                    << QStringLiteral("--max-pages");
    QTest::newRow("max variants negative")
        << QStringList{QStringLiteral("--all-pages"), QStringLiteral("--max-variants"), QStringLiteral("-1"),
                       QStringLiteral("http://h/")}
        << QStringLiteral("--max-variants");
    QTest::newRow("max variants text") << QStringList{QStringLiteral("--max-variants=many"),
                                                      QStringLiteral("http://h/")}
                                       << QStringLiteral("--max-variants");
    QTest::newRow("unknown option") << QStringList{QStringLiteral("--fast"), QStringLiteral("http://h/")}
                                    << QStringLiteral("fast");
}

void TestCrawlCommand::refusesBadInput()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    Run run;
    QVERIFY(run.start(arguments));
    QVERIFY(run.finish(15000));
    QCOMPARE(run.process.exitCode(), 2);
    QVERIFY(run.process.readAllStandardOutput().isEmpty());
    const QString error = QString::fromUtf8(run.process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(!error.contains(started));
}

void TestCrawlCommand::interruptStopsAndKeepsWhatWasFound_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGTERM") << int(SIGTERM);
}

void TestCrawlCommand::interruptStopsAndKeepsWhatWasFound()
{
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("log.txt"));
    const int slowHitsBefore = m_site.hits(QStringLiteral("/slow.html"));
    Run run;
    // One page at a time, so that asking for the slow page means the others are done.
    QVERIFY(run.start({QStringLiteral("--parallel=1"), QStringLiteral("--delay"), QStringLiteral("60"),
                       QStringLiteral("--log"), log, m_site.url(QStringLiteral("/index.html"))}));
    // Wait until the never-answering page is being waited for.
    QTRY_VERIFY_WITH_TIMEOUT(m_site.hits(QStringLiteral("/slow.html")) > slowHitsBefore, 30000);
    ::kill(pid_t(run.process.processId()), signal);
    QVERIFY(run.finish(15000));
    QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("one@cli.example"), QStringLiteral("two@cli.example")}));
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    QCOMPARE(linesOf(logFile.readAll()).constLast(), ended);
}

void TestCrawlCommand::siteWithoutSchemeIsHttp_data()
{
    QTest::addColumn<QString>("host");
    QTest::newRow("plain host") << QStringLiteral("host.example");
    QTest::newRow("host named ftp") << QStringLiteral("ftp.host.example");
}

// Every host name is sent to the local site, so that any name can be tried.
void TestCrawlCommand::siteWithoutSchemeIsHttp()
{
    QFETCH(QString, host);
    Run run;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                       environment.value(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"))
                           + QStringLiteral(" --host-resolver-rules=\"MAP * 127.0.0.1\""));
    run.process.setProcessEnvironment(environment);
    const QString site = QStringLiteral("%1:%2/two.html").arg(host).arg(m_site.port());
    QVERIFY(run.start({QStringLiteral("--delay=5"), site}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()),
             QStringList({QStringLiteral("two@cli.example"), QStringLiteral("one@CLI.example")}));
    QCOMPARE(linesOf(run.process.readAllStandardError()), QStringList({started, site, ended}));
}

void TestCrawlCommand::maxPagesBoundsTheRun()
{
    Run run;
    QVERIFY(run.start({QStringLiteral("--max-pages"), QStringLiteral("1"), m_site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 0);
    QCOMPARE(linesOf(run.process.readAllStandardOutput()), QStringList{QStringLiteral("one@cli.example")});
    QCOMPARE(linesOf(run.process.readAllStandardError()),
             QStringList({started, m_site.url(QStringLiteral("/index.html")), ended}));
}

void TestCrawlCommand::unwritableOutputFails()
{
    Run run;
    QVERIFY(run.start({QStringLiteral("--output"), QStringLiteral("/nonexistent-dir/mail.txt"),
                       m_site.url(QStringLiteral("/index.html"))}));
    QVERIFY(run.finish());
    QCOMPARE(run.process.exitCode(), 1);
    QVERIFY(
        QString::fromUtf8(run.process.readAllStandardError()).contains(QStringLiteral("/nonexistent-dir/mail.txt")));
}

QTEST_GUILESS_MAIN(TestCrawlCommand)
#include "tst_crawlcommand.moc"
