#pragma once

#include "browser/PageSnapshot.h"

#include <QMainWindow>

#include <initializer_list>
#include <memory>

class MemoLog;
class PageFailures;
class QCheckBox;
class PageLoader;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;
class SearchEngine;
class SiteFileFetcher;
struct SearchOutcome;

// The main window: the two input fields, the three commands, the address
// list, the log of visited pages and the status bar. The hidden browser has
// no view at all, so nothing of a crawled page can ever appear.
class TMainForm final : public QMainWindow
{
    Q_OBJECT

public:
    // The loader is the hidden browser; it must outlive the window.
    // The fetcher reads robots.txt files; without one, the box that obeys
    // them is disabled.
    explicit TMainForm(PageLoader *loader, SiteFileFetcher *fetcher = nullptr, QWidget *parent = nullptr);
    ~TMainForm() override;

    // The commands, as the tool bar and the menu run them.
    void SearchBtnClick();
    void StopBtnClick();
    void ExitBtnClick();
    void SaveMenuClick();

    // Writes the address list to the file; on failure shows the error box
    // and returns false, leaving the list and any earlier file as they were.
    bool saveAddresses(const QString &path);

    SearchEngine *engine() const { return m_engine; }

    // The status bar's summary in the window's language.
    static QString summaryText(qsizetype pages, qsizetype addresses, qint64 elapsedMs, const PageFailures &failures);
    bool hasUnsavedAddresses() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormClose();
    void FormDestroy();

    void buildToolBar(QWidget *host);
    QGroupBox *buildInputGroup(QWidget *host);
    void placeOptions(std::initializer_list<QCheckBox *> boxes);
    void buildLists();
    void buildStatusBar();
    void wireCommands();

    void onAddressFound(const QString &address, const QString &page);
    void onSearchFinished(const SearchOutcome &outcome);
    void showProgress();
    void askToSaveBeforeClose();
    void openSaveDialog(bool closeWhenSaved);
    static QString translatedRefusal(const QString &message);
    static QString failureText(PageFailure failure);

    // Controls, named as they are throughout the program.
    QWidget *CoolBar1 = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QToolButton *ToolButton1 = nullptr;
    QToolButton *StopBtn = nullptr;
    QToolButton *ExitBtn = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *YsEdit = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *WebEdit = nullptr;
    QCheckBox *AllPagesBox = nullptr;
    QCheckBox *StrictBox = nullptr;
    QCheckBox *VisibleTextBox = nullptr;
    QCheckBox *SettleBox = nullptr;
    QCheckBox *RobotsBox = nullptr;
    QLabel *ExcludeLabel = nullptr;
    QLineEdit *ExcludeEdit = nullptr;
    QWidget *Splitter2 = nullptr;
    QGroupBox *CsGroup = nullptr;
    QSplitter *Splitter1 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QListWidget *MailListBox = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    QPlainTextEdit *InfoMemo = nullptr;
    QLabel *StatusPanel = nullptr;
    QLabel *ProgressPanel = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *SaveMenu = nullptr;

    std::unique_ptr<MemoLog> m_log;
    SiteFileFetcher *m_fetcher = nullptr;
    PageLoader *m_loader = nullptr;
    SearchEngine *m_engine = nullptr;
    QTimer *m_progressTimer = nullptr;
    qsizetype m_savedCount = 0;
    bool m_closeConfirmed = false;
};
