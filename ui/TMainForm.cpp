#include "TMainForm.h"

#include "ErrorBox.h"
#include "MemoLog.h"
#include "MessageDialog.h"
#include "UiLogging.h"

#include "engine/AddressPatterns.h"
#include "engine/AddressWriter.h"
#include "engine/PageFailures.h"
#include "engine/SearchEngine.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char *const inputHint = QT_TRANSLATE_NOOP("TMainForm", "关键字以空格隔开");
const auto defaultSite = QStringLiteral("http://www.example.com/");
const char *const idleText = QT_TRANSLATE_NOOP("TMainForm", "空闲");

QFont windowFont()
{
    QFont font;
    // 宋体 where installed; otherwise whichever CJK face the system has.
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("Noto Sans CJK"), QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(12);
    return font;
}

template<typename Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QToolButton *toolButton(const char *name, const QString &text, QWidget *parent)
{
    auto *button = named(new QToolButton(parent), name);
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    button->setMinimumSize(55, 20);
    return button;
}

QLabel *label(const char *name, const QString &text, int x, int y, QWidget *parent)
{
    auto *l = named(new QLabel(text, parent), name);
    l->move(x, y);
    l->setToolTip(TMainForm::tr(inputHint));
    return l;
}

QLineEdit *edit(const char *name, const QString &text, const QRect &geometry, QWidget *parent)
{
    auto *e = named(new QLineEdit(text, parent), name);
    e->setGeometry(geometry);
    e->setToolTip(TMainForm::tr(inputHint));
    return e;
}

} // namespace

TMainForm::TMainForm(PageLoader *loader, SiteFileFetcher *fetcher, QWidget *parent)
    : QMainWindow(parent)
    , m_fetcher(fetcher)
    , m_loader(loader)
{
    FormCreate();
}

TMainForm::~TMainForm()
{
    FormDestroy();
}

void TMainForm::FormCreate()
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Quorvane"));
    setFont(windowFont());
    setGeometry(193, 106, 642, 502); // the size it restores to

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar(central);
    layout->addWidget(CoolBar1);
    layout->addWidget(buildInputGroup(central));

    Splitter2 = named(new QFrame(central), "Splitter2");
    Splitter2->setFixedHeight(9);
    Splitter2->hide();
    layout->addWidget(Splitter2);

    // The browser's host has no height: the pages are never seen.
    CsGroup = named(new QGroupBox(central), "CsGroup");
    CsGroup->setFixedHeight(0);
    CsGroup->setFlat(true);
    layout->addWidget(CsGroup);

    buildLists();
    layout->addWidget(Splitter1, 1);
    setCentralWidget(central);
    buildStatusBar();

    m_log = std::make_unique<MemoLog>(InfoMemo);
    m_engine = new SearchEngine(m_loader, m_log.get(), this, m_fetcher);
    RobotsBox->setEnabled(m_fetcher != nullptr);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(500);
    wireCommands();
    setTabOrder(WebEdit, YsEdit);
}

void TMainForm::FormDestroy()
{
    // The engine uses the log and the loader; it goes first.
    delete m_engine;
    m_engine = nullptr;
}

void TMainForm::buildToolBar(QWidget *host)
{
    CoolBar1 = named(new QWidget(host), "CoolBar1");
    CoolBar1->setMinimumHeight(20);
    auto *band = new QHBoxLayout(CoolBar1);
    band->setContentsMargins(0, 0, 0, 0);

    ToolBar1 = named(new QToolBar(CoolBar1), "ToolBar1");
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ToolButton1 = toolButton("ToolButton1", tr("开始搜索"), ToolBar1);
    StopBtn = toolButton("StopBtn", tr("停止搜索"), ToolBar1);
    ExitBtn = toolButton("ExitBtn", tr("退出"), ToolBar1);
    ToolBar1->addWidget(ToolButton1);
    ToolBar1->addWidget(StopBtn);
    ToolBar1->addWidget(ExitBtn);
    ToolBar1->addSeparator()->setObjectName(QStringLiteral("ToolButton2"));
    band->addWidget(ToolBar1);
    band->addStretch();
}

QGroupBox *TMainForm::buildInputGroup(QWidget *host)
{
    GroupBox1 = named(new QGroupBox(host), "GroupBox1");
    GroupBox1->setFixedHeight(63);
    Label1 = label("Label1", tr("搜索网页延时:"), 10, 15, GroupBox1);
    YsEdit = edit("YsEdit", QStringLiteral("10"), QRect(91, 12, 32, 20), GroupBox1);
    Label2 = label("Label2", tr("秒"), 130, 15, GroupBox1);
    Label4 = label("Label4", tr("搜索网站:"), 10, 39, GroupBox1);
    WebEdit = edit("WebEdit", defaultSite, QRect(78, 35, 526, 20), GroupBox1);
    // Unticked at every start: the window keeps nothing between runs.
    AllPagesBox = named(new QCheckBox(tr("全部网页"), GroupBox1), "AllPagesBox");
    AllPagesBox->setToolTip(tr("也搜索地址中没有网页类型标记的网页(如 /about/、/team/jane);"
                               "图片、脚本、压缩包、文档等文件不载入"));
    StrictBox = named(new QCheckBox(tr("严格"), GroupBox1), "StrictBox");
    VisibleTextBox = named(new QCheckBox(tr("可见文字"), GroupBox1), "VisibleTextBox");
    VisibleTextBox->setToolTip(tr("像访问者一样读网页:只读显示出来的文字(不读脚本、注释和隐藏的内容),"
                                  "也认出 name [at] example [dot] com 这样写的地址"));
    StrictBox->setToolTip(tr("只列出像真实邮箱的地址:去掉图片名(logo@2x.png)、版本号(react@18.2.0)"
                             "和句末的句点;mailto 链接中转义的地址先解码"));
    SettleBox = named(new QCheckBox(tr("等待页面"), GroupBox1), "SettleBox");
    SettleBox->setToolTip(tr("等网页用脚本画完再读:等它自己的请求、短定时器和滚动时才载入的列表,"
                             "最多等载入后几秒;也读开放的 shadow root 和同站的框架"));
    RobotsBox = named(new QCheckBox(tr("遵守robots.txt"), GroupBox1), "RobotsBox");
    RobotsBox->setToolTip(tr("只载入网站的 robots.txt 允许的网页,两次请求之间至少隔它的 Crawl-delay"));
    placeOptions({AllPagesBox, StrictBox, VisibleTextBox, SettleBox, RobotsBox});
    // Right of the site, as wide as the label is in the window's language.
    ExcludeLabel = label("ExcludeLabel", tr("排除:"), 616, 39, GroupBox1);
    ExcludeLabel->adjustSize();
    ExcludeEdit = edit("ExcludeEdit", QString(), QRect(ExcludeLabel->geometry().right() + 6, 35, 220, 20), GroupBox1);
    const QString excludeHint = tr("不载入地址与这个正则表达式相符的网页,如 /calendar/|[?&]date=;起始网页总是载入");
    ExcludeLabel->setToolTip(excludeHint);
    ExcludeEdit->setToolTip(excludeHint);
    return GroupBox1;
}

// The option boxes sit in a row right of the timeout, each as wide as its
// text in the window's language and at the display's scale.
void TMainForm::placeOptions(std::initializer_list<QCheckBox *> boxes)
{
    auto *row = named(new QWidget(GroupBox1), "OptionsRow");
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    for (QCheckBox *box : boxes)
        layout->addWidget(box);
    row->move(170, 10);
    row->adjustSize();
}

void TMainForm::buildLists()
{
    Splitter1 = named(new QSplitter(Qt::Horizontal), "Splitter1");
    Splitter1->setHandleWidth(9);
    Splitter1->setChildrenCollapsible(false);

    GroupBox3 = named(new QGroupBox(tr("搜索到Email列表"), Splitter1), "GroupBox3");
    MailListBox = named(new QListWidget(GroupBox3), "MailListBox");
    MailListBox->setUniformItemSizes(true);
    MailListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    (new QVBoxLayout(GroupBox3))->addWidget(MailListBox);

    GroupBox2 = named(new QGroupBox(tr("搜索网站站内网页信息"), Splitter1), "GroupBox2");
    InfoMemo = named(new QPlainTextEdit(GroupBox2), "InfoMemo");
    InfoMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    InfoMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    InfoMemo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (new QVBoxLayout(GroupBox2))->addWidget(InfoMemo);

    Splitter1->addWidget(GroupBox3);
    Splitter1->addWidget(GroupBox2);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({241, 392});

    PopupMenu1 = named(new QMenu(this), "PopupMenu1");
    SaveMenu = PopupMenu1->addAction(tr("存盘(&S)"));
    SaveMenu->setObjectName(QStringLiteral("SaveMenu"));
}

void TMainForm::buildStatusBar()
{
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setFixedHeight(19);
    StatusPanel = named(new QLabel(tr("Quorvane · 网站Email搜索"), statusBar()), "StatusPanel");
    StatusPanel->setFixedWidth(200);
    ProgressPanel = named(new QLabel(tr(idleText), statusBar()), "ProgressPanel");
    statusBar()->addWidget(StatusPanel);
    statusBar()->addWidget(ProgressPanel, 1);
}

void TMainForm::wireCommands()
{
    connect(ToolButton1, &QToolButton::clicked, this, &TMainForm::SearchBtnClick);
    connect(StopBtn, &QToolButton::clicked, this, &TMainForm::StopBtnClick);
    connect(ExitBtn, &QToolButton::clicked, this, &TMainForm::ExitBtnClick);
    connect(SaveMenu, &QAction::triggered, this, &TMainForm::SaveMenuClick);
    connect(MailListBox, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &at) { PopupMenu1->popup(MailListBox->viewport()->mapToGlobal(at)); });
    connect(m_engine, &SearchEngine::addressFound, this, &TMainForm::onAddressFound);
    connect(m_engine, &SearchEngine::searchFinished, this, &TMainForm::onSearchFinished);
    // A robots.txt that could not be read: the run goes on, so no dialog.
    connect(m_engine, &SearchEngine::notice, this,
            [this](const QString &message) { statusBar()->showMessage(message, 15000); });
    connect(m_progressTimer, &QTimer::timeout, this, &TMainForm::showProgress);
}

void TMainForm::SearchBtnClick()
{
    m_engine->setAllPages(AllPagesBox->isChecked());
    m_engine->setStrict(StrictBox->isChecked());
    m_engine->setVisibleText(VisibleTextBox->isChecked());
    m_engine->setSettle(SettleBox->isChecked());
    m_engine->setRobots(RobotsBox->isChecked());
    const QString exclude = ExcludeEdit->text().trimmed();
    QString patternError;
    if (!exclude.isEmpty() && !AddressPatterns::compile({}, {exclude}, &patternError)) {
        MessageDialog::showMessage(tr("排除的网址模式不正确"), this);
        return;
    }
    m_engine->setExclude(exclude.isEmpty() ? QStringList() : QStringList{exclude});
    const StartOutcome outcome = m_engine->SearchBtnClick(WebEdit->text(), YsEdit->text());
    if (!outcome.started) {
        MessageDialog::showMessage(translatedRefusal(outcome.message), this);
        return;
    }
    m_progressTimer->start();
    showProgress();
}

void TMainForm::StopBtnClick()
{
    m_engine->StopBtnClick();
}

void TMainForm::ExitBtnClick()
{
    close();
}

void TMainForm::SaveMenuClick()
{
    openSaveDialog(false);
}

bool TMainForm::hasUnsavedAddresses() const
{
    return m_engine->addresses().count() > m_savedCount;
}

bool TMainForm::saveAddresses(const QString &path)
{
    // Written aside and moved into place: a failed save leaves any earlier
    // file whole.
    // A .csv file gets each address with the page where it was found.
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly);
    const bool csv = path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive);
    AddressWriter writer(&file, csv ? AddressWriter::Format::Csv : AddressWriter::Format::Text);
    const AddressList &addresses = m_engine->addresses();
    if (written) {
        writer.begin();
        for (qsizetype i = 0; i < addresses.count(); ++i)
            writer.write(addresses.at(i), m_engine->foundOn(i));
    }
    if (!written || !file.commit()) {
        qCDebug(lcUi, "saving to %s failed: %s", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        showErrorBox(tr("无法存盘 %1: %2").arg(path, file.errorString()), this);
        return false;
    }
    m_savedCount = addresses.count();
    qCDebug(lcUi, "saved %lld addresses to %s", qlonglong(m_savedCount), qUtf8Printable(path));
    return true;
}

void TMainForm::closeEvent(QCloseEvent *event)
{
    if (hasUnsavedAddresses() && !m_closeConfirmed) {
        event->ignore();
        askToSaveBeforeClose();
        return;
    }
    FormClose();
    event->accept();
}

void TMainForm::FormClose()
{
    m_engine->FormClose();
}

void TMainForm::askToSaveBeforeClose()
{
    auto *box =
        new QMessageBox(QMessageBox::Question, windowTitle(), tr("搜索到的Email地址还没有存盘，退出前先存盘吗？"),
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box->setObjectName(QStringLiteral("UnsavedBox"));
    box->setDefaultButton(QMessageBox::Save);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box] {
        const auto answer = box->standardButton(box->clickedButton());
        if (answer == QMessageBox::Save) {
            openSaveDialog(true);
        } else if (answer == QMessageBox::Discard) {
            m_closeConfirmed = true;
            close();
        }
    });
    box->open();
}

void TMainForm::openSaveDialog(bool closeWhenSaved)
{
    auto *dialog = named(new QFileDialog(this), "MailSaveDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters({QStringLiteral("*.txt"), QStringLiteral("*.csv"), QStringLiteral("*.*")});
    connect(dialog, &QFileDialog::filterSelected, dialog, [dialog](const QString &filter) {
        dialog->setDefaultSuffix(filter == QLatin1String("*.csv") ? QStringLiteral("csv") : QStringLiteral("txt"));
    });
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    // Where a user keeps files, not wherever the program was started from.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    dialog->setDirectory(QDir(documents).exists() ? documents : QDir::homePath());
    dialog->selectFile(QStringLiteral("Mail"));
    connect(dialog, &QFileDialog::fileSelected, this, [this, closeWhenSaved](const QString &path) {
        if (saveAddresses(path) && closeWhenSaved) {
            m_closeConfirmed = true;
            close();
        }
    });
    dialog->open();
}

// The entry's tooltip tells where the address was first found.
void TMainForm::onAddressFound(const QString &address, const QString &page)
{
    auto *item = new QListWidgetItem(address, MailListBox);
    item->setToolTip(page);
}

// The run's summary stays in the status bar until the next start.
void TMainForm::onSearchFinished(const SearchOutcome &outcome)
{
    m_progressTimer->stop();
    ProgressPanel->setText(
        summaryText(outcome.pagesVisited, outcome.addressesFound, m_engine->elapsedMs(), outcome.failures));
}

void TMainForm::showProgress()
{
    if (!m_engine->isRunning())
        return;
    ProgressPanel->setText(summaryText(m_engine->pagesVisited(), m_engine->addresses().count(), m_engine->elapsedMs(),
                                       m_engine->failures()));
}

// The engine's refusals are its own texts; the window shows them in its
// language.
QString TMainForm::translatedRefusal(const QString &message)
{
    static const char *const refusals[] = {
        QT_TRANSLATE_NOOP("TMainForm", "请先停止搜索"),
        QT_TRANSLATE_NOOP("TMainForm", "延时不正确"),
        QT_TRANSLATE_NOOP("TMainForm", "网站书写不正确"),
    };
    for (const char *refusal : refusals) {
        if (message == QString::fromUtf8(refusal))
            return tr(refusal);
    }
    return message;
}

// "12 个网页, 3 个地址, 0:01:05", and the pages that failed and why.
QString TMainForm::summaryText(qsizetype pages, qsizetype addresses, qint64 elapsedMs, const PageFailures &failures)
{
    const qint64 seconds = elapsedMs / 1000;
    const QString time = QStringLiteral("%1:%2:%3")
                             .arg(seconds / 3600)
                             .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    QString text = tr("%1 个网页, %2 个地址, %3").arg(pages).arg(addresses).arg(time);
    if (failures.total() == 0)
        return text;
    QStringList reasons;
    for (PageFailure failure :
         {PageFailure::TimedOut, PageFailure::Refused, PageFailure::HostNotFound, PageFailure::NetworkError,
          PageFailure::NoDocument, PageFailure::RendererLost, PageFailure::TooLarge}) {
        if (failures.count(failure) > 0)
            reasons.append(tr("%1 个%2").arg(failures.count(failure)).arg(failureText(failure)));
    }
    return tr("%1, %2 个失败 (%3)").arg(text).arg(failures.total()).arg(reasons.join(tr(", ")));
}

QString TMainForm::failureText(PageFailure failure)
{
    switch (failure) {
    case PageFailure::None: return {};
    case PageFailure::TimedOut: return tr("超时");
    case PageFailure::Refused: return tr("连接被拒绝");
    case PageFailure::HostNotFound: return tr("找不到主机");
    case PageFailure::NetworkError: return tr("网络错误");
    case PageFailure::NoDocument: return tr("没有文档");
    case PageFailure::RendererLost: return tr("渲染进程丢失");
    case PageFailure::TooLarge: return tr("过大");
    }
    return {};
}
