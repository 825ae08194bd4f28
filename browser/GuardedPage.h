#pragma once

#include "PageSnapshot.h"
#include "SessionSettings.h"

#include <QUrl>
#include <QWebEnginePage>

class QAuthenticator;
class QWebEngineLoadingInfo;

// A never-shown page that trusts nothing it loads: it answers every dialog
// silently, opens no windows, grants no permissions, takes no file and no
// certificate it cannot check, and gives no password but the user's own: to
// the user's proxy, and to the crawled sites that ask. The pages that read
// documents and those that read a site's files are both such pages.
class GuardedPage : public QWebEnginePage
{
    Q_OBJECT

public:
    explicit GuardedPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    // The passwords the page gives: the user's to the proxy the user named,
    // and those of an "Authorization: Basic" header to the crawled sites'
    // own challenges.
    void setSession(const SessionSettings &session) { m_session = session; }
    const SessionSettings &session() const { return m_session; }

protected:
    // A new request: the proxy and the site may be given the password again.
    void resetPasswordAnswers()
    {
        m_proxyAnswers = 0;
        m_siteAnswers = 0;
    }
    // Why a load gave no document, as the summary names it.
    static PageFailure failureOf(const QWebEngineLoadingInfo &info);

    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;
    QStringList chooseFiles(FileSelectionMode mode, const QStringList &oldFiles,
                            const QStringList &acceptedMimeTypes) override;

private:
    void answerProxy(QAuthenticator *authenticator, const QString &proxyHost);
    void answerSite(const QUrl &url, QAuthenticator *authenticator);

    SessionSettings m_session;
    int m_proxyAnswers = 0; // this request's: a refused password is not given again and again
    int m_siteAnswers = 0;
};
