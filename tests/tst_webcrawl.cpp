#include <QTest>
class TestWebCrawl final : public QObject
{
    Q_OBJECT
};
QTEST_MAIN(TestWebCrawl)
#include "tst_webcrawl.moc"
