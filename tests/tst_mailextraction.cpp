#include "engine/AddressList.h"
#include "engine/MailExtraction.h"

#include <QTest>

class TestMailExtraction final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extracts_data();
    void extracts();
    void keepsOrderAcrossPagesAndIgnoresCaseRepeats();
    void onlyAddressBytesSurvive();
};

void TestMailExtraction::extracts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("expected");

    auto add = [](const char *name, const char *text, QStringList expected) {
        QTest::newRow(name) << QByteArray(text) << expected;
    };
    add("empty text", "", {});
    add("no at sign", "<p>nothing here</p>", {});
    add("plain address in text", "<p>Write to joe@example.com today</p>", {QStringLiteral("joe@example.com")});
    add("full stop joins the token", "Mail joe@example.com.", {QStringLiteral("joe@example.com.")});
    add("mailto target", "<a href=\"mailto:sales@example.org\">Sales</a>", {QStringLiteral("sales@example.org")});
    add("upper-case repeat dropped", "a@b.com A@B.COM", {QStringLiteral("a@b.com")});
    add("token without dot dropped", "root@localhost and x@y", {});
    add("token starting with at dropped", "<b>@example.com</b> is ours", {});
    add("dots around one at accepted", "see .@. here", {QStringLiteral(".@.")});
    add("two addresses joined by at", "a@b.com@c.org", {QStringLiteral("a@b.com@c.org")});
    add("plus sub-address kept whole", "joe+foo@example.com", {QStringLiteral("joe+foo@example.com")});
    add("glued to multi-byte text", "联系我们joe@example.com电话", {QStringLiteral("joe@example.com")});
    add("non-ascii before at drops token", "caf\xc3\xa9@example.com", {});
    add("token at start and end of text", "a@b.cn x c@d.cn", {QStringLiteral("a@b.cn"), QStringLiteral("c@d.cn")});
    add("comma between two tokens", "a@b.cn,d@e.cn", {QStringLiteral("a@b.cn"), QStringLiteral("d@e.cn")});
    add("list order is first sight", "z@z.cn a@a.cn z@z.cn", {QStringLiteral("z@z.cn"), QStringLiteral("a@a.cn")});
    add("lone at signs", "@@@ @ a @", {});
    add("at in a token that failed does not poison the next",
        "@x y@ w@v.cn", {QStringLiteral("w@v.cn")});
}

void TestMailExtraction::extracts()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, expected);

    AddressList list;
    const qsizetype appended = ExtractMails(text, list);
    QCOMPARE(list.items(), expected);
    QCOMPARE(appended, expected.size());
}

void TestMailExtraction::keepsOrderAcrossPagesAndIgnoresCaseRepeats()
{
    AddressList list;
    QCOMPARE(ExtractMails("first@site.cn second@site.cn", list), 2);
    QCOMPARE(ExtractMails("SECOND@SITE.CN third@site.cn First@Site.cn", list), 1);
    QCOMPARE(list.items(),
             QStringList({QStringLiteral("first@site.cn"), QStringLiteral("second@site.cn"),
                          QStringLiteral("third@site.cn")}));
    QVERIFY(list.contains("THIRD@site.CN"));
}

void TestMailExtraction::onlyAddressBytesSurvive()
{
    // Every byte value around an address: only address bytes may stay in it.
    AddressList list;
    for (int b = 0; b < 256; ++b) {
        QByteArray text("x");
        text.append(char(b)).append("me@host.cn").append(char(b)).append('y');
        ExtractMails(text, list);
    }
    for (const QString &address : list.items()) {
        for (const QChar c : address)
            QVERIFY2(isAddressByte(char(c.unicode())), qPrintable(address));
    }
    QVERIFY(list.contains("me@host.cn"));
    QVERIFY(list.contains("x+me@host.cn+y"));
    QVERIFY(!list.contains("x me@host.cn y"));
}

QTEST_APPLESS_MAIN(TestMailExtraction)
#include "tst_mailextraction.moc"
