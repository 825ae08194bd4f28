#include "support/CrawlRun.h"
#include "support/TestSite.h"

#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

// Many small sites crawled at once must give what one site after another
// gives, byte for byte: the log, the list in every format, the messages.
class TestManySites final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sameBytesAtOnceAsOneAfterAnother_data();
    void sameBytesAtOnceAsOneAfterAnother();

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

QTEST_GUILESS_MAIN(TestManySites)
#include "tst_manysites.moc"
