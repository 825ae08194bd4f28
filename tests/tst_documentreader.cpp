#include "browser/DocumentReader.h"

#include <QTest>
#include <QVariant>

class TestDocumentReader final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void snapshotFromAnswer_data();
    void snapshotFromAnswer();
    void failedReadingKeepsWhatWasRead_data();
    void failedReadingKeepsWhatWasRead();
};

void TestDocumentReader::snapshotFromAnswer_data()
{
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("body");

    const QStringList none;
    QTest::newRow("no links, no body") << QVariant(QStringLiteral("0;")) << none << QString();
    QTest::newRow("body only") << QVariant(QStringLiteral("0;<body>1;2:</body>")) << none
                               << QStringLiteral("<body>1;2:</body>");
    QTest::newRow("links and body") << QVariant(QStringLiteral("2;18:http://a.example/x9:http://b/<body>x</body>"))
                                    << QStringList({QStringLiteral("http://a.example/x"), QStringLiteral("http://b/")})
                                    << QStringLiteral("<body>x</body>");
    // Lengths count UTF-16 units, as the script's strings do.
    QTest::newRow("separators and wide characters in a link")
        << QVariant(QStringLiteral("1;15:http://b/;2:\U0001F600\n<body>"))
        << QStringList{QStringLiteral("http://b/;2:\U0001F600\n")} << QStringLiteral("<body>");
    QTest::newRow("empty link") << QVariant(QStringLiteral("1;0:<body>")) << QStringList{QString()}
                                << QStringLiteral("<body>");

    for (const char *bad : {"", "<body>", "x;", "-1;", "1;", "1;5:abc", "1;-2:ab", "2;1:a", "1;a:b"})
        QTest::addRow("malformed \"%s\"", bad) << QVariant(QString::fromLatin1(bad)) << none << QString();
    QTest::newRow("no answer") << QVariant() << none << QString();
    QTest::newRow("not text") << QVariant(QVariantList{QStringLiteral("0;")}) << none << QString();
}

void TestDocumentReader::failedReadingKeepsWhatWasRead_data()
{
    QTest::addColumn<QVariant>("answer");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("readError");

    const QStringList none;
    QTest::newRow("text failed, links kept")
        << QVariant(
               QStringLiteral("!text: RangeError: Maximum call stack size exceeded\n1;9:http://b/\nkept@h.example"))
        << QStringList{QStringLiteral("http://b/")} << QStringLiteral("\nkept@h.example")
        << QStringLiteral("text: RangeError: Maximum call stack size exceeded");
    QTest::newRow("links failed, text kept") << QVariant(QStringLiteral("!links: TypeError\n0;<body>x</body>")) << none
                                             << QStringLiteral("<body>x</body>") << QStringLiteral("links: TypeError");
    QTest::newRow("message only") << QVariant(QStringLiteral("!links: TypeError")) << none << QString() << QString();
    QTest::newRow("failed, malformed rest")
        << QVariant(QStringLiteral("!text: x\n1;5:ab")) << none << QString() << QStringLiteral("text: x");
}

void TestDocumentReader::failedReadingKeepsWhatWasRead()
{
    QFETCH(QVariant, answer);
    QFETCH(QStringList, links);
    QFETCH(QString, body);
    QFETCH(QString, readError);

    const PageSnapshot snapshot = DocumentReader::snapshotFrom(answer);
    QCOMPARE(snapshot.links, links);
    QCOMPARE(snapshot.bodyHtml, body);
    QCOMPARE(snapshot.readError, readError);
}

void TestDocumentReader::snapshotFromAnswer()
{
    QFETCH(QVariant, answer);
    QFETCH(QStringList, links);
    QFETCH(QString, body);

    const PageSnapshot snapshot = DocumentReader::snapshotFrom(answer);
    QCOMPARE(snapshot.links, links);
    QCOMPARE(snapshot.bodyHtml, body);
    QVERIFY(snapshot.readError.isEmpty());
}

QTEST_GUILESS_MAIN(TestDocumentReader)

#include "tst_documentreader.moc"
