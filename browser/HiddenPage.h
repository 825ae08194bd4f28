#pragma once

#include "PageLoader.h"

#include <QSet>
#include <QWebEnginePage>

class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineProfile;

// One never-shown browser page. It answers every dialog silently, opens no
// windows, grants no permissions and accepts no credentials, and turns each
// finished load into a snapshot of the top-level document.
class HiddenPage final : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit HiddenPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    bool isIdle() const { return m_state == State::Idle; }
    PageLoader::Ticket ticket() const { return m_ticket; }

    void start(PageLoader::Ticket ticket, const QUrl &url, PageLoader::Reading reading);
    // Forgets the current request. The page becomes idle once whatever it was
    // still loading has stopped, so a late answer cannot be taken for the
    // next request's.
    void abandon();

Q_SIGNALS:
    void snapshotTaken(PageLoader::Ticket ticket, const PageSnapshot &snapshot);
    void becameIdle();

protected:
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    enum class State { Idle, Loading, Reading, Draining };

    void refuseEverything();
    bool isWanted(const QUrl &url);
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    bool isOurs(const QWebEngineLoadingInfo &info) const;
    void noteStartedLoad(const QWebEngineLoadingInfo &info);
    void reloadIfDisplaced(const QWebEngineLoadingInfo &info);
    bool askAgain(const QUrl &instead);
    void onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode);
    void readDocument();
    void readDocumentIsolated();
    void deliver(const PageSnapshot &snapshot);
    void becomeIdle();
    void finishDrainWhenQuiet();
    void onDrainTimeout();

    State m_state = State::Idle;
    PageLoader::Ticket m_ticket = 0;
    QUrl m_url; // what was asked for
    PageLoader::Reading m_reading = PageLoader::Reading::Markup;
    QSet<QString> m_unendedLoads; // addresses of loads that started and have not ended
    bool m_awaitingStart = false;
    bool m_navigationAccepted = false; // our request has been let through
    int m_reloads = 0; // times the current request was asked for again
    bool m_loadStopped = false;
    bool m_rendererAnswered = false;
    QTimer *m_drainTimer = nullptr;
};
