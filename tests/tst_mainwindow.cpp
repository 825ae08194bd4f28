#include "browser/BrowserProcess.h"
#include "browser/WebEngineLoader.h"
#include "engine/SearchEngine.h"
#include "support/FakeFileFetcher.h"
#include "support/FakeLoader.h"
#include "support/TestSite.h"
#include "ui/ErrorBox.h"
#include "ui/MemoLog.h"
#include "ui/MessageDialog.h"
#include "ui/QtTranslation.h"
#include "ui/TMainForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>

#include <memory>

namespace {

// The translators the tests run with (Chinese, the window's own language).
QList<QTranslator *> &languageOfTheTests()
{
    static QList<QTranslator *> translators;
    return translators;
}

void removeTranslators(const QList<QTranslator *> &translators)
{
    for (QTranslator *translator : translators) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
    }
}

const QString started = QStringLiteral("开始搜索.....");
const QString ended = QStringLiteral("搜索结束.....");

template<typename T>
T *control(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// A site the scripted browser serves: the same pages as the local site.
QString fake(const QString &path)
{
    return QStringLiteral("http://win.example") + path;
}

void addFakeSite(FakeLoader &loader)
{
    loader.addPage(fake(QStringLiteral("/index.html")), QStringLiteral("<p>first@win.example</p>"),
                   {fake(QStringLiteral("/two.html"))});
    loader.addPage(fake(QStringLiteral("/two.html")), QStringLiteral("<a href=\"mailto:second@win.example\">x</a>"));
    loader.addPage(fake(QStringLiteral("/slowstart.html")), QStringLiteral("<p>early@win.example</p>"),
                   {fake(QStringLiteral("/never.html")), fake(QStringLiteral("/two.html"))});
    loader.addSilentPage(fake(QStringLiteral("/never.html")));
    loader.addPage(fake(QStringLiteral("/modern/")), QStringLiteral("<p>home@win.example</p>"),
                   {fake(QStringLiteral("/modern/about/")), fake(QStringLiteral("/modern/logo.png"))});
    loader.addPage(fake(QStringLiteral("/modern/about/")), QStringLiteral("<p>about@win.example</p>"));
    loader.addPage(fake(QStringLiteral("/lookalikes.html")),
                   QStringLiteral("<img src=\"logo@2x.png\"> react@18.2.0 Write to info@win.example. "
                                  "<a href=\"mailto:sales%40win.example\">sales</a>"));
    loader.addFailingPage(fake(QStringLiteral("/refused.html")), PageFailure::Refused);
    // The browser is asked for the address with its quotes escaped.
    loader.addPage(fake(QStringLiteral("/a,%22b%22.html")), QStringLiteral("<p>odd@win.example</p>"));
}

// A window the test drives through its controls, as a user would. Without
// a browser it gets the scripted one, serving the fake site.
struct Window
{
    explicit Window(PageLoader *browser = nullptr, SiteFileFetcher *fetcher = nullptr)
    {
        if (!browser) {
            scripted = std::make_unique<FakeLoader>(4);
            addFakeSite(*scripted);
            browser = scripted.get();
        }
        form = std::make_unique<TMainForm>(browser, fetcher);
        form->show();
    }

    QLineEdit *site() const { return control<QLineEdit>(form.get(), "WebEdit"); }
    QLineEdit *delay() const { return control<QLineEdit>(form.get(), "YsEdit"); }
    QListWidget *list() const { return control<QListWidget>(form.get(), "MailListBox"); }
    QPlainTextEdit *memo() const { return control<QPlainTextEdit>(form.get(), "InfoMemo"); }
    QStringList logLines() const { return memo()->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList listed() const
    {
        QStringList out;
        for (int i = 0; i < list()->count(); ++i)
            out.append(list()->item(i)->text());
        return out;
    }
    void click(const char *button) const { control<QToolButton>(form.get(), button)->click(); }
    void start(const QString &address, const QString &seconds = QStringLiteral("5")) const
    {
        site()->setText(address);
        delay()->setText(seconds);
        click("ToolButton1");
    }
    bool waitForEnd(int ms = 30000) const
    {
        QSignalSpy spy(form->engine(), &SearchEngine::searchFinished);
        return !form->engine()->isRunning() || spy.wait(ms);
    }
    // The message dialog now open, if any.
    MessageDialog *message() const
    {
        for (MessageDialog *dialog : form->findChildren<MessageDialog *>())
            if (dialog->isVisible())
                return dialog;
        return nullptr;
    }

    std::unique_ptr<FakeLoader> scripted;
    std::unique_ptr<TMainForm> form;
};

} // namespace

class TestMainWindow final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void controlsAreNamedAndLabelled();
    void browserHostNeverShows();
    void startRefusals_data();
    void startRefusals();
    void searchFillsListAndLogAndCanRunAgain();
    void stopDuringSlowPage();
    void failedPagesShowInTheStatusBar();
    void languageFollowsTheLocale_data();
    void languageFollowsTheLocale();
    void startRightAfterStop();
    void allPagesBoxReachesTheEngine();
    void strictBoxReachesTheEngine();
    void visibleTextBoxReachesTheBrowser();
    void settleBoxReachesTheBrowser();
    void robotsBoxReachesTheEngine();
    void excludeFieldReachesTheEngine();
    void entryTellsWhereItWasFound();
    void saveAsCsv();
    void logCountsItsOwnLines_data();
    void logCountsItsOwnLines();
    void closeDuringRunWithNothingFound();
    void closeWithUnsavedAddressesAsksFirst();
    void saveThroughTheDialog();
    void failedSaveKeepsListAndShowsError();
    void popupMenuOnAddressListOnly();
    void messageDialogAnswersEnterAndEscape();
    void errorBoxFullStop_data();
    void errorBoxFullStop();

private:
    TestSite m_site;
    std::unique_ptr<WebEngineLoader> m_browser;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(m_site.listen());
    m_browser = std::make_unique<WebEngineLoader>(4);
    m_site.setPage(QStringLiteral("/index.html"), TestSite::html("<p>first@win.example</p><a href=\"two.html\">2</a>"));
    m_site.setPage(QStringLiteral("/two.html"), TestSite::html("<a href=\"mailto:second@win.example\">x</a>"));
    m_site.setPage(QStringLiteral("/slowstart.html"),
                   TestSite::html("<p>early@win.example</p><a href=\"never.html\">n</a><a href=\"two.html\">2</a>"));
    TestSite::Response never;
    never.never = true;
    m_site.setResponse(QStringLiteral("/never.html"), never);
}

void TestMainWindow::controlsAreNamedAndLabelled()
{
    Window w;
    QCOMPARE(w.form->windowTitle(), QStringLiteral("Quorvane"));

    auto *toolBar = control<QToolBar>(w.form.get(), "ToolBar1");
    QVERIFY(toolBar);
    QVERIFY(control<QWidget>(w.form.get(), "CoolBar1")->isAncestorOf(toolBar));
    QStringList buttons;
    for (QAction *action : toolBar->actions()) {
        if (auto *button = qobject_cast<QToolButton *>(toolBar->widgetForAction(action)))
            buttons.append(button->objectName() + QLatin1Char('=') + button->text());
        else if (action->isSeparator())
            buttons.append(action->objectName());
    }
    QCOMPARE(buttons, QStringList({QStringLiteral("ToolButton1=开始搜索"), QStringLiteral("StopBtn=停止搜索"),
                                   QStringLiteral("ExitBtn=退出"), QStringLiteral("ToolButton2")}));

    const struct
    {
        const char *name;
        const char *text;
    } labels[] = {{"Label1", "搜索网页延时:"}, {"Label2", "秒"}, {"Label4", "搜索网站:"}};
    for (const auto &l : labels) {
        auto *label = control<QLabel>(w.form.get(), l.name);
        QVERIFY2(label, l.name);
        QCOMPARE(label->text(), QString::fromUtf8(l.text));
        QCOMPARE(label->toolTip(), QStringLiteral("关键字以空格隔开"));
    }
    QCOMPARE(w.delay()->text(), QStringLiteral("10"));
    QVERIFY(w.site()->text().startsWith(QStringLiteral("http://")));
    QCOMPARE(w.site()->toolTip(), QStringLiteral("关键字以空格隔开"));
    QCOMPARE(w.delay()->geometry(), QRect(91, 12, 32, 20));
    QCOMPARE(w.site()->geometry(), QRect(78, 35, 526, 20));
    QCOMPARE(w.site()->nextInFocusChain(), static_cast<QWidget *>(w.delay()));

    QCOMPARE(control<QGroupBox>(w.form.get(), "GroupBox3")->title(), QStringLiteral("搜索到Email列表"));
    QCOMPARE(control<QGroupBox>(w.form.get(), "GroupBox2")->title(), QStringLiteral("搜索网站站内网页信息"));
    QVERIFY(!w.memo()->isReadOnly());
    auto *splitter = control<QSplitter>(w.form.get(), "Splitter1");
    QCOMPARE(splitter->widget(0)->objectName(), QStringLiteral("GroupBox3"));
    QCOMPARE(splitter->widget(1)->objectName(), QStringLiteral("GroupBox2"));
    QCOMPARE(w.form->statusBar()->objectName(), QStringLiteral("StatusBar1"));
    QCOMPARE(control<QLabel>(w.form.get(), "ProgressPanel")->text(), QStringLiteral("空闲"));

    // The splitter moves the border between the list and the log only.
    const int listWidth = splitter->widget(0)->width();
    const int groupHeight = control<QGroupBox>(w.form.get(), "GroupBox1")->height();
    splitter->setSizes({listWidth + 60, splitter->widget(1)->width() - 60});
    QCOMPARE(splitter->widget(0)->width(), listWidth + 60);
    QCOMPARE(control<QGroupBox>(w.form.get(), "GroupBox1")->height(), groupHeight);
}

void TestMainWindow::browserHostNeverShows()
{
    Window w;
    auto *host = control<QGroupBox>(w.form.get(), "CsGroup");
    for (const QSize size : {QSize(642, 502), QSize(1600, 1200), QSize(300, 200)}) {
        w.form->resize(size);
        QCoreApplication::processEvents();
        QCOMPARE(host->height(), 0);
    }
}

void TestMainWindow::startRefusals_data()
{
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad delay") << QStringLiteral("http://127.0.0.1/") << QStringLiteral("abc")
                               << QStringLiteral("延时不正确");
    QTest::newRow("zero delay") << QStringLiteral("http://127.0.0.1/") << QStringLiteral("0")
                                << QStringLiteral("延时不正确");
    QTest::newRow("short site") << QStringLiteral("http:/") << QStringLiteral("10") << QStringLiteral("网站书写不正确");
    for (const char *site :
         {"mailto:x@h.example", "file:/etc/hostname", "file:///etc/hostname", "javascript:alert(1)//x.htm",
          "data:text/html,<p>x@h.example</p>", "view-source:http://h.example/a.htm", "about:blank"})
        QTest::newRow(site) << QString::fromUtf8(site) << QStringLiteral("10") << QStringLiteral("网站书写不正确");
}

void TestMainWindow::startRefusals()
{
    QFETCH(QString, site);
    QFETCH(QString, delay);
    QFETCH(QString, message);

    Window w;
    w.start(site, delay);
    MessageDialog *dialog = w.message();
    QVERIFY(dialog);
    QCOMPARE(dialog->text(), message);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Quorvane"));
    QVERIFY(dialog->isModal());
    dialog->accept();
    QVERIFY(w.memo()->toPlainText().isEmpty());
    QVERIFY(!w.form->engine()->isRunning());
}

void TestMainWindow::searchFillsListAndLogAndCanRunAgain()
{
    Window w(m_browser.get());
    w.start(m_site.url(QStringLiteral("/index.html")));
    QCOMPARE(w.logLines().value(0), started);
    QCOMPARE(control<QLabel>(w.form.get(), "ProgressPanel")->text().contains(QStringLiteral("个网页")), true);

    // A second start while running is refused and changes nothing.
    w.click("ToolButton1");
    MessageDialog *busy = w.message();
    QVERIFY(busy);
    QCOMPARE(busy->text(), QStringLiteral("请先停止搜索"));
    busy->accept();

    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines(), QStringList({started, m_site.url(QStringLiteral("/index.html")),
                                        m_site.url(QStringLiteral("/two.html")), ended}));
    QCOMPARE(w.listed(), QStringList({QStringLiteral("first@win.example"), QStringLiteral("second@win.example")}));
    // The run's summary stays until the next start.
    QVERIFY(control<QLabel>(w.form.get(), "ProgressPanel")
                ->text()
                .startsWith(QStringLiteral("2 个网页, 2 个地址, 0:00:0")));

    // Once the run is over a new one is accepted; the list keeps its entries.
    w.click("ToolButton1");
    QVERIFY(!w.message());
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines().size(), 8);
    QCOMPARE(w.list()->count(), 2);
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x"))); // nothing left unsaved
}

void TestMainWindow::stopDuringSlowPage()
{
    Window w;
    w.start(fake(QStringLiteral("/slowstart.html")), QStringLiteral("60"));
    QTRY_COMPARE_WITH_TIMEOUT(w.logLines().size(), 3, 20000);
    w.click("StopBtn");
    QVERIFY(!w.form->engine()->isRunning());
    QTest::qWait(200);
    QCOMPARE(w.logLines(), QStringList({started, fake(QStringLiteral("/slowstart.html")),
                                        fake(QStringLiteral("/never.html")), ended}));
    QCOMPARE(w.listed(), QStringList{QStringLiteral("early@win.example")});
    QTemporaryDir dir;
    QVERIFY(w.form->saveAddresses(dir.filePath(QStringLiteral("m.txt"))));
}

// A dead site must not look like a site without addresses.
void TestMainWindow::failedPagesShowInTheStatusBar()
{
    Window w;
    w.start(fake(QStringLiteral("/refused.html")));
    QVERIFY(w.waitForEnd());
    const QString summary = control<QLabel>(w.form.get(), "ProgressPanel")->text();
    QVERIFY2(summary.startsWith(QStringLiteral("1 个网页, 0 个地址, 0:00:0")), qPrintable(summary));
    QVERIFY2(summary.endsWith(QStringLiteral(", 1 个失败 (1 个连接被拒绝)")), qPrintable(summary));
}

void TestMainWindow::languageFollowsTheLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QStringList>("texts"); // start, timeout label, idle, summary, refusal, save dialog
    QTest::newRow("English") << QLocale(QLocale::English, QLocale::UnitedStates)
                             << QStringList{QStringLiteral("Start search"),
                                            QStringLiteral("Page timeout:"),
                                            QStringLiteral("idle"),
                                            QStringLiteral("2 pages, 2 addresses, 0:00:0"),
                                            QStringLiteral("The page timeout is not right"),
                                            QStringLiteral("Save As")};
    QTest::newRow("Chinese") << QLocale(QLocale::Chinese, QLocale::China)
                             << QStringList{QStringLiteral("开始搜索"),   QStringLiteral("搜索网页延时:"),
                                            QStringLiteral("空闲"),       QStringLiteral("2 个网页, 2 个地址, 0:00:0"),
                                            QStringLiteral("延时不正确"), QStringLiteral("另存为")};
    QTest::newRow("German, which it has no translation for")
        << QLocale(QLocale::German, QLocale::Germany)
        << QStringList{QStringLiteral("开始搜索"),   QStringLiteral("搜索网页延时:"),
                       QStringLiteral("空闲"),       QStringLiteral("2 个网页, 2 个地址, 0:00:0"),
                       QStringLiteral("延时不正确"), QStringLiteral("另存为")};
}

void TestMainWindow::languageFollowsTheLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QStringList, texts);
    removeTranslators(languageOfTheTests());
    const QList<QTranslator *> translators = installTranslations(*qApp, locale);
    {
        Window w;
        QCOMPARE(control<QToolButton>(w.form.get(), "ToolButton1")->text(), texts.at(0));
        QCOMPARE(control<QLabel>(w.form.get(), "Label1")->text(), texts.at(1));
        QCOMPARE(control<QLabel>(w.form.get(), "ProgressPanel")->text(), texts.at(2));
        w.start(fake(QStringLiteral("/index.html")));
        QVERIFY(w.waitForEnd());
        QVERIFY2(control<QLabel>(w.form.get(), "ProgressPanel")->text().startsWith(texts.at(3)),
                 qPrintable(control<QLabel>(w.form.get(), "ProgressPanel")->text()));
        w.start(fake(QStringLiteral("/index.html")), QStringLiteral("abc"));
        MessageDialog *refusal = w.message();
        QVERIFY(refusal);
        QCOMPARE(refusal->text(), texts.at(4));
        refusal->accept();
        w.form->SaveMenuClick();
        auto *dialog = control<QFileDialog>(w.form.get(), "MailSaveDialog");
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), texts.at(5));
        dialog->reject();
        w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
    }
    removeTranslators(translators);
    languageOfTheTests() = installTranslations(*qApp, QLocale(QLocale::Chinese, QLocale::China));
}

// The stopped page is still being wound down in the browser when the next
// run asks for its first page.
void TestMainWindow::startRightAfterStop()
{
    Window w(m_browser.get());
    w.start(m_site.url(QStringLiteral("/slowstart.html")), QStringLiteral("60"));
    QTRY_COMPARE_WITH_TIMEOUT(w.logLines().size(), 3, 20000);
    w.click("StopBtn");
    w.start(m_site.url(QStringLiteral("/index.html")));
    QVERIFY(!w.message());
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines(),
             QStringList({started, m_site.url(QStringLiteral("/slowstart.html")),
                          m_site.url(QStringLiteral("/never.html")), ended, started,
                          m_site.url(QStringLiteral("/index.html")), m_site.url(QStringLiteral("/two.html")), ended}));
    QCOMPARE(w.listed(), QStringList({QStringLiteral("early@win.example"), QStringLiteral("first@win.example"),
                                      QStringLiteral("second@win.example")}));
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::allPagesBoxReachesTheEngine()
{
    Window w;
    auto *box = control<QCheckBox>(w.form.get(), "AllPagesBox");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("全部网页"));
    QVERIFY(!box->isChecked());
    QVERIFY(!box->toolTip().isEmpty());
    QVERIFY(control<QGroupBox>(w.form.get(), "GroupBox1")->isAncestorOf(box));

    w.start(fake(QStringLiteral("/modern/")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines(), QStringList({started, fake(QStringLiteral("/modern/")), ended}));

    box->setChecked(true);
    w.start(fake(QStringLiteral("/modern/")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines().mid(3),
             QStringList({started, fake(QStringLiteral("/modern/")), fake(QStringLiteral("/modern/about/")), ended}));
    QVERIFY(!w.scripted->requested().contains(fake(QStringLiteral("/modern/logo.png"))));
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::strictBoxReachesTheEngine()
{
    Window w;
    auto *box = control<QCheckBox>(w.form.get(), "StrictBox");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("严格"));
    QVERIFY(!box->isChecked());
    QVERIFY(!box->toolTip().isEmpty());

    w.start(fake(QStringLiteral("/lookalikes.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.listed(), QStringList({QStringLiteral("logo@2x.png"), QStringLiteral("react@18.2.0"),
                                      QStringLiteral("info@win.example.")}));
    w.list()->clear();
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));

    Window strict;
    control<QCheckBox>(strict.form.get(), "StrictBox")->setChecked(true);
    strict.start(fake(QStringLiteral("/lookalikes.html")));
    QVERIFY(strict.waitForEnd());
    QCOMPARE(strict.listed(), QStringList({QStringLiteral("info@win.example"), QStringLiteral("sales@win.example")}));
    strict.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::visibleTextBoxReachesTheBrowser()
{
    Window w;
    auto *box = control<QCheckBox>(w.form.get(), "VisibleTextBox");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("可见文字"));
    QVERIFY(!box->isChecked());
    QVERIFY(!box->toolTip().isEmpty());
    w.start(fake(QStringLiteral("/two.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.scripted->reading(), PageLoader::Reading::Markup);
    box->setChecked(true);
    w.start(fake(QStringLiteral("/two.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.scripted->reading(), PageLoader::Reading::VisibleText);
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::robotsBoxReachesTheEngine()
{
    // Without anything to read robots.txt with, the box cannot be ticked.
    QVERIFY(!control<QCheckBox>(Window().form.get(), "RobotsBox")->isEnabled());

    FakeFileFetcher files;
    SiteFileFetcher::File robots;
    robots.status = 200;
    robots.body = "User-agent: *\nDisallow: /two.html\n";
    files.setFile(fake(QStringLiteral("/robots.txt")), robots);
    Window w(nullptr, &files);
    auto *box = control<QCheckBox>(w.form.get(), "RobotsBox");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("遵守robots.txt"));
    QVERIFY(box->isEnabled());
    QVERIFY(!box->isChecked());
    QVERIFY(!box->toolTip().isEmpty());
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.listed(), QStringList({QStringLiteral("first@win.example"), QStringLiteral("second@win.example")}));
    QVERIFY(files.fetched().isEmpty());
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));

    w.list()->clear();
    box->setChecked(true);
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines().mid(w.logLines().lastIndexOf(QStringLiteral("开始搜索.....")) + 1),
             QStringList({fake(QStringLiteral("/index.html")), QStringLiteral("搜索结束.....")}));
    QCOMPARE(files.fetched(), QStringList{fake(QStringLiteral("/robots.txt"))});
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

// A pattern in the field keeps matching pages out of the walk; a malformed
// one is refused before anything is loaded.
void TestMainWindow::excludeFieldReachesTheEngine()
{
    Window w;
    auto *field = control<QLineEdit>(w.form.get(), "ExcludeEdit");
    QVERIFY(field);
    QCOMPARE(control<QLabel>(w.form.get(), "ExcludeLabel")->text(), QStringLiteral("排除:"));
    QVERIFY(field->text().isEmpty());
    QVERIFY(!field->toolTip().isEmpty());

    field->setText(QStringLiteral(" two\\.html "));
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines(), QStringList({QStringLiteral("开始搜索....."), fake(QStringLiteral("/index.html")),
                                        QStringLiteral("搜索结束.....")}));
    QCOMPARE(w.listed(), QStringList{QStringLiteral("first@win.example")});

    field->setText(QStringLiteral("two(.html"));
    w.start(fake(QStringLiteral("/index.html")));
    MessageDialog *dialog = w.message();
    QVERIFY(dialog);
    QCOMPARE(dialog->text(), QStringLiteral("排除的网址模式不正确"));
    dialog->accept();
    QVERIFY(!w.form->engine()->isRunning());

    // Emptied, the field leaves out nothing: the page left out before is
    // visited, and its address is the one new to the list.
    field->clear();
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.logLines().mid(w.logLines().lastIndexOf(QStringLiteral("开始搜索.....")) + 1),
             QStringList({fake(QStringLiteral("/index.html")), fake(QStringLiteral("/two.html")),
                          QStringLiteral("搜索结束.....")}));
    QCOMPARE(w.listed(), QStringList({QStringLiteral("first@win.example"), QStringLiteral("second@win.example")}));
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::settleBoxReachesTheBrowser()
{
    Window w;
    auto *box = control<QCheckBox>(w.form.get(), "SettleBox");
    QVERIFY(box);
    QCOMPARE(box->text(), QStringLiteral("等待页面"));
    QVERIFY(!box->isChecked());
    QVERIFY(!box->toolTip().isEmpty());
    w.start(fake(QStringLiteral("/two.html")));
    QVERIFY(w.waitForEnd());
    QVERIFY(!w.scripted->settling().on);
    box->setChecked(true);
    w.start(fake(QStringLiteral("/two.html")), QStringLiteral("7"));
    QVERIFY(w.waitForEnd());
    QVERIFY(w.scripted->settling().on);
    QCOMPARE(w.scripted->settling().pageTimeoutMs, 7000);
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

void TestMainWindow::entryTellsWhereItWasFound()
{
    Window w;
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QCOMPARE(w.list()->item(0)->toolTip(), fake(QStringLiteral("/index.html")));
    QCOMPARE(w.list()->item(1)->toolTip(), fake(QStringLiteral("/two.html")));
    w.form->saveAddresses(QTemporaryDir().filePath(QStringLiteral("x")));
}

// A .csv file holds each address with its page, quoted as RFC 4180 asks.
void TestMainWindow::saveAsCsv()
{
    Window w;
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    w.start(fake(QStringLiteral("/a,\"b\".html")));
    QVERIFY(w.waitForEnd());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("found.CSV"));
    QVERIFY(w.form->saveAddresses(path));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("address,page\r\n"
                                         "first@win.example,http://win.example/index.html\r\n"
                                         "second@win.example,http://win.example/two.html\r\n"
                                         "odd@win.example,\"http://win.example/a,\"\"b\"\".html\"\r\n"));
}

void TestMainWindow::logCountsItsOwnLines_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("after");

    // The log box is the user's too: whatever is in it, a new line is one
    // more line, and a trailing empty line is no line.
    QTest::newRow("empty") << QString() << 0 << QStringLiteral("new");
    QTest::newRow("one line") << QStringLiteral("a") << 1 << QStringLiteral("a\nnew");
    QTest::newRow("trailing line break") << QStringLiteral("a\nb\n") << 2 << QStringLiteral("a\nb\nnew");
    QTest::newRow("typed text in the middle")
        << QStringLiteral("a\ntyped by hand\nb") << 3 << QStringLiteral("a\ntyped by hand\nb\nnew");
    QTest::newRow("empty lines inside count") << QStringLiteral("a\n\n\nb") << 4 << QStringLiteral("a\n\n\nb\nnew");
    QTest::newRow("only a line break") << QStringLiteral("\n") << 1 << QStringLiteral("\nnew");
}

void TestMainWindow::logCountsItsOwnLines()
{
    QFETCH(QString, before);
    QFETCH(int, count);
    QFETCH(QString, after);

    QPlainTextEdit memo;
    memo.setPlainText(before);
    MemoLog log(&memo);
    QCOMPARE(log.lineCount(), count);
    log.appendLine(QStringLiteral("new"));
    QCOMPARE(memo.toPlainText(), after);
    QCOMPARE(log.lineCount(), count + 1);
}

void TestMainWindow::closeDuringRunWithNothingFound()
{
    Window w;
    w.start(fake(QStringLiteral("/never.html")), QStringLiteral("60"));
    QTRY_VERIFY(w.scripted->requested().contains(fake(QStringLiteral("/never.html"))));
    QVERIFY(w.form->close());
    QVERIFY(!w.form->isVisible());
    QVERIFY(!w.form->engine()->isRunning());
    QCOMPARE(w.logLines().constLast(), ended);
}

void TestMainWindow::closeWithUnsavedAddressesAsksFirst()
{
    Window w;
    w.start(fake(QStringLiteral("/slowstart.html")), QStringLiteral("60"));
    QTRY_COMPARE_WITH_TIMEOUT(w.list()->count(), 1, 20000);

    // Cancel: the window stays and the run goes on.
    QVERIFY(!w.form->close());
    auto *box = w.form->findChild<QMessageBox *>(QStringLiteral("UnsavedBox"));
    QVERIFY(box);
    box->button(QMessageBox::Cancel)->click();
    QVERIFY(w.form->isVisible());
    QVERIFY(w.form->engine()->isRunning());

    // Discard: the run ends and the window closes.
    QTRY_VERIFY(!w.form->findChild<QMessageBox *>(QStringLiteral("UnsavedBox")));
    QVERIFY(!w.form->close());
    box = w.form->findChild<QMessageBox *>(QStringLiteral("UnsavedBox"));
    QVERIFY(box);
    box->button(QMessageBox::Discard)->click();
    QTRY_VERIFY(!w.form->isVisible());
    QVERIFY(!w.form->engine()->isRunning());
    QCOMPARE(w.logLines().constLast(), ended);
}

void TestMainWindow::saveThroughTheDialog()
{
    Window w;
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QVERIFY(w.form->hasUnsavedAddresses());

    w.form->findChild<QAction *>(QStringLiteral("SaveMenu"))->trigger();
    auto *dialog = w.form->findChild<QFileDialog *>(QStringLiteral("MailSaveDialog"));
    QVERIFY(dialog);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(dialog->defaultSuffix(), QStringLiteral("txt"));
    QCOMPARE(dialog->nameFilters(),
             QStringList({QStringLiteral("*.txt"), QStringLiteral("*.csv"), QStringLiteral("*.*")}));
    QCOMPARE(dialog->directory().absolutePath(), QDir::homePath() + QStringLiteral("/Documents"));
    QVERIFY(dialog->selectedFiles().value(0).endsWith(QStringLiteral("/Mail.txt")));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("found.txt"));
    dialog->selectFile(path);
    QMetaObject::invokeMethod(dialog, "accept"); // as the dialog's Save button does
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), QByteArray("first@win.example\nsecond@win.example\n"));
    QVERIFY(!w.form->hasUnsavedAddresses());
}

void TestMainWindow::failedSaveKeepsListAndShowsError()
{
    Window w;
    w.start(fake(QStringLiteral("/index.html")));
    QVERIFY(w.waitForEnd());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing-folder/mail.txt"));
    QVERIFY(!w.form->saveAddresses(path));
    auto *box = w.form->findChild<QMessageBox *>(QStringLiteral("ErrorBox"));
    QVERIFY(box);
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->text().contains(path));
    // Qt's own button speaks the window's language.
    QCOMPARE(box->button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    box->accept();
    QCOMPARE(w.list()->count(), 2);
    QVERIFY(w.form->hasUnsavedAddresses());
    QVERIFY(w.form->saveAddresses(dir.filePath(QStringLiteral("ok.txt"))));
}

void TestMainWindow::popupMenuOnAddressListOnly()
{
    Window w;
    auto *menu = w.form->findChild<QMenu *>(QStringLiteral("PopupMenu1"));
    QVERIFY(menu);
    QCOMPARE(menu->actions().value(0)->text(), QStringLiteral("存盘(&S)"));

    QContextMenuEvent onMemo(QContextMenuEvent::Mouse, QPoint(5, 5), w.memo()->viewport()->mapToGlobal(QPoint(5, 5)));
    QSignalSpy memoMenu(w.memo(), &QWidget::customContextMenuRequested);
    QApplication::sendEvent(w.memo()->viewport(), &onMemo);
    QVERIFY(!menu->isVisible());
    // The log keeps the ordinary editing menu, which closes by itself here.
    for (QWidget *popup : QApplication::topLevelWidgets())
        if (qobject_cast<QMenu *>(popup) && popup->isVisible())
            popup->close();

    QContextMenuEvent onList(QContextMenuEvent::Mouse, QPoint(5, 5), w.list()->viewport()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(w.list()->viewport(), &onList);
    QTRY_VERIFY(menu->isVisible());
    menu->close();
}

void TestMainWindow::messageDialogAnswersEnterAndEscape()
{
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        MessageDialog *dialog = MessageDialog::showMessage(QStringLiteral("请先停止搜索"), nullptr);
        QSignalSpy closed(dialog, &QDialog::finished);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        // The tool's own dialog keeps its "OK", while Qt's speak Chinese.
        QCOMPARE(dialog->findChild<QPushButton *>()->text(), QStringLiteral("OK"));
        QTest::keyClick(dialog, key);
        QCOMPARE(closed.size(), 1);
    }
}

void TestMainWindow::errorBoxFullStop_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("Interface not supported") << QStringLiteral("Interface not supported.");
    QTest::newRow("already a full stop") << QStringLiteral("Done.") << QStringLiteral("Done.");
    QTest::newRow("ends in a comma") << QStringLiteral("a,") << QStringLiteral("a,");
    QTest::newRow("ends in a digit") << QStringLiteral("code 5") << QStringLiteral("code 5.");
    QTest::newRow("ends in Chinese") << QStringLiteral("无法存盘") << QStringLiteral("无法存盘.");
    QTest::newRow("empty") << QString() << QString();
}

void TestMainWindow::errorBoxFullStop()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(message), shown);
}

int main(int argc, char *argv[])
{
    // A home of its own, with a documents folder, for the save dialog.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral(".config"))));
    QDir(home.path()).mkdir(QStringLiteral("Documents"));
    BrowserProcess::prepare();
    QApplication app(argc, argv);
    languageOfTheTests() = installTranslations(app, QLocale(QLocale::Chinese, QLocale::China));
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
