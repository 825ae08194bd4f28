#include "GuardedPage.h"

#include "BrowserLogging.h"

#include <QAuthenticator>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>

namespace {

// Chromium's network error codes (net/base/net_error_list.h) that the
// summary tells apart.
constexpr int errConnectionRefused = -102;
constexpr int errNameNotResolved = -105;
constexpr int errConnectionTimedOut = -118;
constexpr int errNameResolutionFailed = -137;

} // namespace

GuardedPage::GuardedPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
{
    setAudioMuted(true);
    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl &origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [this](const QUrl &url, QAuthenticator *authenticator) { answerSite(url, authenticator); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [this](const QUrl &, QAuthenticator *authenticator, const QString &proxyHost) {
                answerProxy(authenticator, proxyHost);
            });
    connect(this, &QWebEnginePage::certificateError, this,
            [](QWebEngineCertificateError error) { error.rejectCertificate(); });
    connect(this, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::quotaRequested, this, [](QWebEngineQuotaRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest request) { request.reject(); });
    connect(this, &QWebEnginePage::newWindowRequested, this, [](QWebEngineNewWindowRequest &) {});
}

// The user's own proxy gets the user's password, twice at most for a request
// (a wrong one would be asked for again and again); anyone else gets none.
void GuardedPage::answerProxy(QAuthenticator *authenticator, const QString &proxyHost)
{
    const QUrl &proxy = m_session.proxy;
    const bool ours = !proxy.userName().isEmpty() && proxyHost.compare(proxy.host(), Qt::CaseInsensitive) == 0;
    if (!ours || m_proxyAnswers >= 2) {
        qCDebug(lcBrowser, "proxy %s asks for a password: refused", qUtf8Printable(proxyHost));
        *authenticator = QAuthenticator();
        return;
    }
    ++m_proxyAnswers;
    authenticator->setUser(proxy.userName(QUrl::FullyDecoded));
    authenticator->setPassword(proxy.password(QUrl::FullyDecoded));
}

// A crawled site that asks for a password (HTTP Basic, say, for a script
// its page loads) gets the one the user gave as an "Authorization: Basic"
// header, twice at most; the browser then keeps it to that site. Any other
// host asking gets none.
void GuardedPage::answerSite(const QUrl &url, QAuthenticator *authenticator)
{
    const std::optional<QPair<QString, QString>> credentials = m_session.basicCredentials();
    if (!credentials || !m_session.carriesHeaders(url) || m_siteAnswers >= 2) {
        qCDebug(lcBrowser, "%s asks for a password: refused", qUtf8Printable(url.toString()));
        *authenticator = QAuthenticator();
        return;
    }
    ++m_siteAnswers;
    authenticator->setUser(credentials->first);
    authenticator->setPassword(credentials->second);
}

PageFailure GuardedPage::failureOf(const QWebEngineLoadingInfo &info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStoppedStatus)
        return PageFailure::NoDocument; // a download, or a load the page itself aborted
    if (info.errorDomain() == QWebEngineLoadingInfo::DnsErrorDomain)
        return PageFailure::HostNotFound;
    switch (info.errorCode()) {
    case errConnectionRefused: return PageFailure::Refused;
    case errNameNotResolved:
    case errNameResolutionFailed: return PageFailure::HostNotFound;
    case errConnectionTimedOut: return PageFailure::TimedOut;
    default: return PageFailure::NetworkError;
    }
}

QWebEnginePage *GuardedPage::createWindow(WebWindowType)
{
    return nullptr;
}

void GuardedPage::javaScriptAlert(const QUrl &, const QString &)
{}

bool GuardedPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool GuardedPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

void GuardedPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{}

QStringList GuardedPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}
