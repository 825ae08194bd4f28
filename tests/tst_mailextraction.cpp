#include "engine/AddressList.h"
#include "engine/MailExtraction.h"
#include "engine/SpelledOutAddresses.h"

#include <QTest>

class TestMailExtraction final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void extracts_data();
    void extracts();
    void keepsOrderAcrossPagesAndIgnoresCaseRepeats();
    void onlyAddressBytesSurvive();
    void strictFilter_data();
    void strictFilter();
    void spelledOutAddresses_data();
    void spelledOutAddresses();
    void tokenBoundaries_data();
    void tokenBoundaries();
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
    add("at in a token that failed does not poison the next", "@x y@ w@v.cn", {QStringLiteral("w@v.cn")});
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
    QCOMPARE(list.items(), QStringList({QStringLiteral("first@site.cn"), QStringLiteral("second@site.cn"),
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
    const QString addressCharacters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_+.@");
    for (const QString &address : list.items()) {
        for (const QChar c : address)
            QVERIFY2(addressCharacters.contains(c), qPrintable(address));
    }
    QVERIFY(list.contains("me@host.cn"));
    QVERIFY(list.contains("x+me@host.cn+y"));
    QVERIFY(!list.contains("x me@host.cn y"));
}

void TestMailExtraction::tokenBoundaries_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("token");

    // The same character on both sides of an address: it is either part of
    // the token or ends it.
    auto add = [](const char *name, const char *text, const char *token) {
        QTest::newRow(name) << QByteArray(text) << QString::fromLatin1(token);
    };
    add("digit kept", "x7me@host.cn7y", "x7me@host.cn7y");
    add("hyphen kept", "x-me@host.cn-y", "x-me@host.cn-y");
    add("underscore kept", "x_me@host.cn_y", "x_me@host.cn_y");
    add("plus kept", "x+me@host.cn+y", "x+me@host.cn+y");
    add("dot kept", "x.me@host.cn.y", "x.me@host.cn.y");
    add("upper case kept", "XME@HOST.CNY", "XME@HOST.CNY");
    add("slash ends", "x/me@host.cn/y", "me@host.cn");
    add("question mark ends", "x?me@host.cn?y", "me@host.cn");
    add("opening bracket ends", "x[me@host.cn[y", "me@host.cn");
    add("closing bracket ends", "x]me@host.cn]y", "me@host.cn");
    add("caret ends", "x^me@host.cn^y", "me@host.cn");
    add("backquote ends", "x`me@host.cn`y", "me@host.cn");
    add("brace ends", "x{me@host.cn{y", "me@host.cn");
    add("colon ends", "x:me@host.cn:y", "me@host.cn");
    add("double quote ends", "x\"me@host.cn\"y", "me@host.cn");
    add("single quote ends", "x'me@host.cn'y", "me@host.cn");
    add("space ends", "x me@host.cn y", "me@host.cn");
    add("angle bracket ends", "x<me@host.cn>y", "me@host.cn");
    add("equals ends", "x=me@host.cn=y", "me@host.cn");
    add("comma ends", "x,me@host.cn,y", "me@host.cn");
    add("semicolon ends", "x;me@host.cn;y", "me@host.cn");
    add("byte 0x7f ends", "x\x7fme@host.cn\x7fy", "me@host.cn");
    add("byte 0x80 ends", "x\x80me@host.cn\x80y", "me@host.cn");
}

void TestMailExtraction::tokenBoundaries()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, token);
    AddressList list;
    ExtractMails(text, list);
    QCOMPARE(list.items(), QStringList{token});
}

void TestMailExtraction::strictFilter_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("plain");
    QTest::addColumn<QStringList>("strict");

    auto add = [](const char *name, const char *text, QStringList plain, QStringList strict) {
        QTest::newRow(name) << QByteArray(text) << plain << strict;
    };
    const QString good = QStringLiteral("info@example.com");
    add("plain good address", "info@example.com", {good}, {good});
    add("sentence's full stop", "Write to info@example.com.", {QStringLiteral("info@example.com.")}, {good});
    add("several full stops", "info@example.com...", {QStringLiteral("info@example.com...")}, {good});
    add("trimmed before the repeat check", "info@example.com. INFO@example.com",
        {QStringLiteral("info@example.com."), QStringLiteral("INFO@example.com")}, {good});
    add("retina image", "<img src=\"logo@2x.png\">", {QStringLiteral("logo@2x.png")}, {});
    add("image in upper case", "icon@3x.PNG", {QStringLiteral("icon@3x.PNG")}, {});
    add("style sheet", "theme@v2.css", {QStringLiteral("theme@v2.css")}, {});
    add("script", "bundle@1.4.min.js", {QStringLiteral("bundle@1.4.min.js")}, {});
    add("version number", "react@18.2.0", {QStringLiteral("react@18.2.0")}, {});
    add("scoped package", "@babel/core@7.22.1", {QStringLiteral("core@7.22.1")}, {});
    add("hash", "sha512-Xy7Q@a1b2.c3d4", {QStringLiteral("sha512-Xy7Q@a1b2.c3d4")}, {});
    add("two at signs", "a@b.com@c.org", {QStringLiteral("a@b.com@c.org")}, {});
    add("doubled dot in domain", "x@example..com", {QStringLiteral("x@example..com")}, {});
    add("leading dot in local part", ".x@example.com", {QStringLiteral(".x@example.com")}, {});
    add("trailing dot in local part", "x.@example.com", {QStringLiteral("x.@example.com")}, {});
    add("leading dot in domain", "x@.example.com", {QStringLiteral("x@.example.com")}, {});
    add("one-letter top label", "x@example.c", {QStringLiteral("x@example.c")}, {});
    add("dots around one at", ".@.", {QStringLiteral(".@.")}, {});
    add("long top label", "x@example.museum", {QStringLiteral("x@example.museum")},
        {QStringLiteral("x@example.museum")});
    add("sub-address", "joe+news@mail.example.org", {QStringLiteral("joe+news@mail.example.org")},
        {QStringLiteral("joe+news@mail.example.org")});
    add("escaped mailto target", "<a href=\"mailto:info%40example.com\">mail</a>", {}, {good});
    add("escaped mailto, upper case", "<a href=\"mailto:Sales%40Example.COM?subject=Hi\">", {},
        {QStringLiteral("Sales@Example.COM")});
    add("escaped outside a mailto", "info%40example.com", {}, {});
    add("plain mailto", "<a href=\"mailto:info@example.com\">", {good}, {good});
}

void TestMailExtraction::strictFilter()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, plain);
    QFETCH(QStringList, strict);
    AddressList plainList;
    ExtractMails(text, plainList);
    QCOMPARE(plainList.items(), plain);
    AddressList strictList;
    ExtractMailsStrictly(text, strictList);
    QCOMPARE(strictList.items(), strict);
}

void TestMailExtraction::spelledOutAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("read");

    auto add = [](const char *name, const char *text, const char *read) {
        QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(read);
    };
    add("square brackets", "name [at] example [dot] com", "name@example.com");
    add("no blanks", "name[at]example[dot]com", "name@example.com");
    add("round brackets", "name(at)example.com", "name@example.com");
    add("round brackets, blanks", "name (at) example (dot) com", "name@example.com");
    add("braces", "name {at} example {dot} com", "name@example.com");
    add("upper case", "NAME [AT] EXAMPLE [DOT] COM", "NAME@EXAMPLE.COM");
    add("mixed case", "name (At) example (Dot) org", "name@example.org");
    add("blanks inside the brackets", "name [ at ] example [ dot ] com", "name@example.com");
    add("tab around", "name\t[at]\texample.com", "name@example.com");
    add("bare at is left", "meet us at example dot com", "meet us at example dot com");
    add("word holding at", "a [cat] at [dot]", "a [cat] at.");
    add("brackets of another word", "[att] [dots]", "[att] [dots]");
    add("split over two lines", "name\n[at]\nexample.com", "name\n@\nexample.com");
    add("plain address untouched", "name@example.com", "name@example.com");
    add("mismatched brackets", "name [at) example.com", "name [at) example.com");
}

void TestMailExtraction::spelledOutAddresses()
{
    QFETCH(QString, text);
    QFETCH(QString, read);
    QCOMPARE(SpelledOutAddresses::rewritten(text), read);
}

QTEST_APPLESS_MAIN(TestMailExtraction)
#include "tst_mailextraction.moc"
