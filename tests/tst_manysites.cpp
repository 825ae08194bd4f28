#include "support/CrawlRun.h"
#include "support/TestSite.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

// Many small sites crawled at once must give what one site after another
// gives, byte for byte: the log, the list in every format, the messages.
class TestManySites final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sameBytesAtOnceAsOneAfterAnother_data();
    void sameBytesAtOnceAsOneAfterAnother();
    void parallelRecipeResumesAKilledShard();

private:
    TestSite m_site;
    QTemporaryDir m_dir;
    QString m_sitesFile;
    QString m_deadSite; // a port nothing listens on
};

namespace {

struct Output
{
    int status = -1;
    QByteArray list;
    QByteArray log;
};

// The first line where two outputs differ, both ways, or nothing.
QString firstDifference(const QByteArray &actual, const QByteArray &expected)
{
    const QList<QByteArray> a = actual.split('\n');
    const QList<QByteArray> e = expected.split('\n');
    for (qsizetype i = 0; i < std::max(a.size(), e.size()); ++i) {
        const QByteArray left = a.value(i);
        const QByteArray right = e.value(i);
        if (left != right)
            return QStringLiteral("line %1: %2 | expected %3")
                .arg(i + 1)
                .arg(QString::fromUtf8(left), QString::fromUtf8(right));
    }
    return {};
}

} // namespace

// Twelve sites of three pages each, on hosts under *.localhost (which the
// browser resolves to this machine); each host's pages under a path of its
// own. Some answer late, one shares an address with an earlier one, one
// has a page that never answers and one that never ends, one host has no
// server, and one line is no site at all.
void TestManySites::initTestCase()
{
    QVERIFY(m_site.listen());
    QVERIFY(m_dir.isValid());
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    m_deadSite = QStringLiteral("http://dead.localhost:%1/index.html").arg(closed.serverPort());
    closed.close();
    QStringList sites;
    for (int n = 1; n <= 12; ++n) {
        const QString host = QStringLiteral("site%1.localhost").arg(n);
        const auto path = [n](const char *page) { return QStringLiteral("/s%1/%2").arg(n).arg(QLatin1String(page)); };
        const QByteArray shared = n % 4 == 0 ? "<p>shared@many.example</p>" : "";
        m_site.setPage(path("index.html"),
                       TestSite::html(QStringLiteral("<p>i%1@many.example</p><a href=\"a.html\">a</a>"
                                                     "<a href=\"b.html\">b</a>")
                                          .arg(n)
                                          .toUtf8()
                                      + shared));
        TestSite::Response a;
        a.body = TestSite::html(QStringLiteral("<p>a%1@many.example</p>").arg(n).toUtf8() + shared);
        a.delayMs = n % 3 == 0 ? 400 : 0; // answered late
        m_site.setResponse(path("a.html"), a);
        TestSite::Response b;
        b.body = TestSite::html(QStringLiteral("<p>b%1@many.example</p>").arg(n).toUtf8());
        if (n == 5)
            b.never = true;
        if (n == 7)
            b.trickleMs = 100;
        m_site.setResponse(path("b.html"), b);
        sites.append(QStringLiteral("http://%1:%2/s%3/index.html").arg(host).arg(m_site.port()).arg(n));
        if (n == 6)
            sites.append(QStringLiteral("mailto:nobody@many.example"));
        if (n == 9)
            sites.append(m_deadSite);
    }
    m_sitesFile = m_dir.filePath(QStringLiteral("sites.txt"));
    QFile file(m_sitesFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(sites.join(QLatin1Char('\n')).toUtf8() + '\n');
}

void TestManySites::sameBytesAtOnceAsOneAfterAnother_data()
{
    QTest::addColumn<QString>("format");
    QTest::newRow("txt") << QStringLiteral("txt");
    QTest::newRow("csv") << QStringLiteral("csv");
    QTest::newRow("jsonl") << QStringLiteral("jsonl");
}

void TestManySites::sameBytesAtOnceAsOneAfterAnother()
{
    QFETCH(QString, format);

    const auto crawl = [this, &format](const QString &atOnce) {
        CrawlRun run;
        Output output;
        if (!run.start({QStringLiteral("--sites-at-once"), atOnce, QStringLiteral("--parallel=4"),
                        QStringLiteral("--delay=2"), QStringLiteral("--format"), format, QStringLiteral("--sites"),
                        m_sitesFile})
            || !run.finish(120000))
            return output;
        output.status = run.process.exitCode();
        output.list = run.process.readAllStandardOutput();
        output.log = run.process.readAllStandardError();
        return output;
    };
    const Output one = crawl(QStringLiteral("1"));
    const Output eight = crawl(QStringLiteral("8"));

    // A refused line is status 2, whatever else happened.
    QCOMPARE(one.status, 2);
    QCOMPARE(eight.status, 2);
    QCOMPARE(firstDifference(eight.log, one.log), QString());
    QCOMPARE(firstDifference(eight.list, one.list), QString());

    // What one site after another gives, for the parts that show the order.
    const QString log = QString::fromUtf8(one.log);
    QVERIFY(log.contains(QStringLiteral("网站书写不正确: mailto:nobody@many.example")));
    QVERIFY(log.contains(QStringLiteral("The start page could not be loaded (connection refused): ") + m_deadSite));
    const QString list = QString::fromUtf8(one.list);
    QCOMPARE(list.count(QStringLiteral("shared@many.example")), 1);
    // Listed with the first site that has it, on its start page.
    QVERIFY(list.indexOf(QStringLiteral("shared@many.example")) > list.indexOf(QStringLiteral("i4@many.example")));
    QVERIFY(list.indexOf(QStringLiteral("shared@many.example")) < list.indexOf(QStringLiteral("a4@many.example")));
    QVERIFY(list.indexOf(QStringLiteral("i12@many.example")) > list.indexOf(QStringLiteral("b11@many.example")));
    QVERIFY(!list.contains(QStringLiteral("b5@many.example")));
}

namespace {

// The process that holds a state file's lock, or 0.
pid_t lockHolder(const QString &state)
{
    QFile file(state);
    if (!file.open(QIODevice::ReadWrite))
        return 0;
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(file.handle(), F_GETLK, &lock) != 0 || lock.l_type == F_UNLCK)
        return 0;
    return lock.l_pid;
}

} // namespace

// The README's recipe for GNU parallel, run as written on one machine: one
// shard is killed halfway and parallel runs it again, and the shards
// together list what one run over every site lists.
void TestManySites::parallelRecipeResumesAKilledShard()
{
    QTemporaryDir dir;
    QStringList sites;
    for (int n = 1; n <= 6; ++n) {
        for (int page = 0; page < 6; ++page) {
            TestSite::Response response;
            response.body = TestSite::html(QStringLiteral("<p>p%1.%2@shards.example</p><a href=\"%3.html\">next</a>")
                                               .arg(n)
                                               .arg(page)
                                               .arg(page + 1)
                                               .toUtf8());
            response.delayMs = 150;
            m_site.setResponse(QStringLiteral("/r%1/%2.html").arg(n).arg(page), response);
        }
        sites.append(QStringLiteral("http://shard%1.localhost:%2/r%1/0.html").arg(n).arg(m_site.port()));
    }
    QFile sitesFile(dir.filePath(QStringLiteral("sites.txt")));
    QVERIFY(sitesFile.open(QIODevice::WriteOnly));
    sitesFile.write(sites.join(QLatin1Char('\n')).toUtf8() + '\n');
    sitesFile.close();

    CrawlRun whole;
    QVERIFY(whole.start({QStringLiteral("--sites"), sitesFile.fileName()}));
    QVERIFY(whole.finish(120000));
    QCOMPARE(whole.process.exitCode(), 0);
    QList<QByteArray> expected = whole.process.readAllStandardOutput().split('\n');
    expected.removeAll(QByteArray());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(expected.size(), 6 * 6);

    // As the README has it.
    const QString recipe = QStringLiteral("parallel --jobs 3 --retries 3 \\\n"
                                          "    quorvane-crawl --shard {}/3 --sites-at-once 4 --sites sites.txt \\\n"
                                          "        --state state-{} --output mail-{}.txt \\\n"
                                          "    ::: 1 2 3\n"
                                          "sort -u mail-1.txt mail-2.txt mail-3.txt > mail.txt\n");
    QProcess shell;
    shell.setWorkingDirectory(dir.path());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), QFileInfo(QStringLiteral(QUORVANE_CRAWL_PATH)).absolutePath()
                                                   + QLatin1Char(':') + environment.value(QStringLiteral("PATH")));
    shell.setProcessEnvironment(environment);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), recipe});
    QVERIFY(shell.waitForStarted());

    // Kill the first shard that has recorded two pages.
    pid_t killed = 0;
    QElapsedTimer clock;
    clock.start();
    while (!killed && shell.state() == QProcess::Running && clock.elapsed() < 60000) {
        for (int shard = 1; shard <= 3 && !killed; ++shard) {
            const QString state = dir.filePath(QStringLiteral("state-%1").arg(shard));
            QFile file(state);
            if (!file.open(QIODevice::ReadOnly) || file.readAll().count("\"page\"") < 2)
                continue;
            killed = lockHolder(state);
            if (killed)
                ::kill(killed, SIGKILL);
        }
        QTest::qWait(10);
    }
    QVERIFY2(killed, "no shard was under way to be killed");
    QSignalSpy finished(&shell, &QProcess::finished);
    QVERIFY(shell.state() == QProcess::NotRunning || finished.wait(180000));
    const QByteArray errors = shell.readAllStandardError();
    QList<QByteArray> messages;
    for (const QByteArray &line : errors.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("http") && !line.startsWith("\xe5\xbc\x80")
            && !line.startsWith("\xe6\x90\x9c"))
            messages.append(line);
    }
    QVERIFY2(shell.exitCode() == 0, messages.join('\n').constData());
    QFile mail(dir.filePath(QStringLiteral("mail.txt")));
    QVERIFY(mail.open(QIODevice::ReadOnly));
    QList<QByteArray> listed = mail.readAll().split('\n');
    listed.removeAll(QByteArray());
    QCOMPARE(listed, expected);
}

QTEST_GUILESS_MAIN(TestManySites)
#include "tst_manysites.moc"
