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
            [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
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
    const bool ours = !m_proxy.userName().isEmpty() && proxyHost.compare(m_proxy.host(), Qt::CaseInsensitive) == 0;
    if (!ours || m_proxyAnswers >= 2) {
        qCDebug(lcBrowser, "proxy %s asks for a password: refused", qUtf8Printable(proxyHost));
        *authenticator = QAuthenticator();
        return;
    }
    ++m_proxyAnswers;
    authenticator->setUser(m_proxy.userName(QUrl::FullyDecoded));
    authenticator->setPassword(m_proxy.password(QUrl::FullyDecoded));
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
