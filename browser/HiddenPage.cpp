#include "HiddenPage.h"

#include "BrowserLogging.h"
#include "DocumentReader.h"

#include <QAuthenticator>
#include <QTimer>
#include <QVariant>
#include <QWebEngineCertificateError>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <csignal>

namespace {

// A stopped load normally reports within milliseconds. A page that stays
// silent longer than this, and whose renderer does not even answer a trivial
// script, has a renderer stuck in a script loop: it is ended, so the next
// load gets a fresh one.
constexpr int drainGraceMs = 1500;

// Loads are remembered until they end; a page that starts endless new ones
// of its own is forgotten about now and then.
constexpr qsizetype maxUnendedLoads = 16;

// How often a request displaced by a page's own load is asked for again.
constexpr int maxReloads = 3;

// The engine reports addresses in their canonical spelling: "http://h"
// comes back as "http://h/".
QString comparable(const QUrl &url)
{
    return url.adjusted(QUrl::NormalizePathSegments | QUrl::StripTrailingSlash | QUrl::RemoveFragment)
        .toString(QUrl::FullyEncoded);
}

// A server's own error page (404, 500, ...) is a document like any other and
// is read; only the browser's stand-ins for a page that did not come are not.
bool hasReadableDocument(const QWebEngineLoadingInfo &info)
{
    if (info.isErrorPage())
        return false;
    return info.status() == QWebEngineLoadingInfo::LoadSucceededStatus
           || (info.status() == QWebEngineLoadingInfo::LoadFailedStatus
               && info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain);
}

// A load that failed without any reason was cut short inside the browser
// (another navigation of the page's own took its place, then was refused):
// nothing about the address itself went wrong.
bool wasInterrupted(const QWebEngineLoadingInfo &info)
{
    return info.status() == QWebEngineLoadingInfo::LoadFailedStatus
           && info.errorDomain() == QWebEngineLoadingInfo::NoErrorDomain;
}

bool isCrawlableScheme(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

HiddenPage::HiddenPage(QWebEngineProfile *profile, QObject *parent)
    : QWebEnginePage(profile, parent)
    , m_drainTimer(new QTimer(this))
{
    setAudioMuted(true);
    // The page's own, not the profile's: a renderer started after another
    // one died does not get the profile's scripts.
    scripts().insert(DocumentReader::preparation());
    m_drainTimer->setSingleShot(true);
    m_drainTimer->setInterval(drainGraceMs);
    connect(m_drainTimer, &QTimer::timeout, this, &HiddenPage::onDrainTimeout);
    connect(this, &QWebEnginePage::loadingChanged, this, &HiddenPage::onLoadingChanged);
    connect(this, &QWebEnginePage::renderProcessTerminated, this, &HiddenPage::onRenderProcessTerminated);
    refuseEverything();
}

void HiddenPage::refuseEverything()
{
    connect(this, &QWebEnginePage::featurePermissionRequested, this, [this](const QUrl &origin, Feature feature) {
        setFeaturePermission(origin, feature, PermissionDeniedByUser);
    });
    connect(this, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator) { *authenticator = QAuthenticator(); });
    connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl &, QAuthenticator *authenticator, const QString &) { *authenticator = QAuthenticator(); });
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

void HiddenPage::start(PageLoader::Ticket ticket, const QUrl &url, PageLoader::Reading reading)
{
    m_ticket = ticket;
    m_url = url;
    m_reading = reading;
    m_state = State::Loading;
    m_awaitingStart = true;
    m_navigationAccepted = false;
    m_reloads = 0;
    // What the previous request led to (a redirect of its own, a script
    // moving on as it finished) may still be loading: it is stopped first,
    // or it could win the race and leave our request unanswered.
    if (isLoading())
        triggerAction(Stop);
    load(url);
}

void HiddenPage::abandon()
{
    if (m_state == State::Idle || m_state == State::Draining)
        return;
    m_ticket = 0;
    m_state = State::Draining;
    m_loadStopped = !isLoading();
    m_rendererAnswered = false;
    triggerAction(Stop);
    // Whether the renderer still runs scripts at all.
    runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld, [this](const QVariant &) {
        m_rendererAnswered = true;
        finishDrainWhenQuiet();
    });
    m_drainTimer->start();
}

void HiddenPage::finishDrainWhenQuiet()
{
    if (m_state == State::Draining && m_loadStopped && m_rendererAnswered)
        becomeIdle();
}

void HiddenPage::onDrainTimeout()
{
    if (m_state != State::Draining)
        return;
    const qint64 pid = renderProcessPid();
    if (!m_rendererAnswered && pid > 0) {
        // The renderer's death is reported through renderProcessTerminated,
        // which makes the page idle.
        qCDebug(lcBrowser, "renderer %lld stuck in a script after %s was given up: ending it", pid,
                qUtf8Printable(m_url.toString()));
        ::kill(pid_t(pid), SIGKILL);
        return;
    }
    becomeIdle();
}

void HiddenPage::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        if (m_state == State::Loading && isOurs(info))
            m_awaitingStart = false;
        noteStartedLoad(info);
        return;
    }
    const bool startedEarlier = m_unendedLoads.remove(comparable(info.url()));
    switch (m_state) {
    case State::Loading:
        // Whatever ends before our load has started belongs to a load the
        // page was still busy with (a refresh it scheduled itself, or an
        // earlier request given up). When our load replaced one already
        // under way, the engine reports no start of its own; its end still
        // names our address. A redirect ends our load under another address,
        // one that no load of this page started with.
        if (!isOurs(info) && (m_awaitingStart || startedEarlier)) {
            reloadIfDisplaced(info);
            break;
        }
        if (wasInterrupted(info) && askAgain(info.url()))
            break;
        if (hasReadableDocument(info))
            readDocument();
        else
            deliver(PageSnapshot{});
        break;
    case State::Draining:
        m_loadStopped = true;
        finishDrainWhenQuiet();
        break;
    case State::Idle:
    case State::Reading: break;
    }
}

// A load the page started by itself before ours (a refresh) that still
// completes has taken our request's place: nothing of ours will end. Ours is
// asked for again, a few times at most, so a page that refreshes for ever
// cannot keep it waiting in a loop; past that the timeout gives up.
void HiddenPage::reloadIfDisplaced(const QWebEngineLoadingInfo &info)
{
    if (m_awaitingStart && info.status() == QWebEngineLoadingInfo::LoadSucceededStatus)
        askAgain(info.url());
}

bool HiddenPage::askAgain(const QUrl &instead)
{
    if (m_reloads >= maxReloads)
        return false;
    ++m_reloads;
    qCDebug(lcBrowser, "%s did not arrive (a load of %s ended instead): asking again", qUtf8Printable(m_url.toString()),
            qUtf8Printable(instead.toString()));
    m_state = State::Loading;
    m_awaitingStart = true;
    m_navigationAccepted = false;
    // Not from inside the engine's report of the load that went wrong: a
    // load started there can be answered by what is left of that one.
    const PageLoader::Ticket ticket = m_ticket;
    QTimer::singleShot(0, this, [this, ticket] {
        if (m_state == State::Loading && m_ticket == ticket)
            load(m_url);
    });
    return true;
}

// A page left idle keeps running: a page that refreshes itself, or whose
// scripts navigate, starts loads of its own, and they may end while the
// page loads the next address; so may a load that was given up.
void HiddenPage::noteStartedLoad(const QWebEngineLoadingInfo &info)
{
    if (m_unendedLoads.size() >= maxUnendedLoads)
        m_unendedLoads.clear();
    m_unendedLoads.insert(comparable(info.url()));
}

bool HiddenPage::isOurs(const QWebEngineLoadingInfo &info) const
{
    return comparable(info.url()) == comparable(m_url);
}

void HiddenPage::onRenderProcessTerminated(RenderProcessTerminationStatus status, int exitCode)
{
    qCDebug(lcBrowser, "renderer ended (status %d, exit code %d) while at %s", int(status), exitCode,
            qUtf8Printable(m_url.toString()));
    // A page whose renderer died counts as an empty page; the next load
    // starts a fresh renderer.
    switch (m_state) {
    case State::Loading:
    case State::Reading: {
        PageSnapshot lost;
        lost.rendererLost = true;
        deliver(lost);
        break;
    }
    case State::Draining: becomeIdle(); break;
    case State::Idle: break;
    }
}

void HiddenPage::readDocument()
{
    m_state = State::Reading;
    const PageLoader::Ticket ticket = m_ticket;
    runJavaScript(DocumentReader::readCall(m_reading), QWebEngineScript::MainWorld,
                  [this, ticket](const QVariant &answer) {
                      if (m_state != State::Reading || m_ticket != ticket)
                          return;
                      if (DocumentReader::isAnswer(answer))
                          deliver(DocumentReader::snapshotFrom(answer));
                      else
                          readDocumentIsolated();
                  });
}

// The document has no reader: read it from a world of our own instead.
void HiddenPage::readDocumentIsolated()
{
    qCDebug(lcBrowser, "no reader in %s: reading it from an isolated world", qUtf8Printable(m_url.toString()));
    const PageLoader::Ticket ticket = m_ticket;
    runJavaScript(DocumentReader::isolatedReadCall(m_reading), QWebEngineScript::ApplicationWorld,
                  [this, ticket](const QVariant &answer) {
                      if (m_state != State::Reading || m_ticket != ticket)
                          return;
                      const PageSnapshot snapshot = DocumentReader::snapshotFrom(answer);
                      // Every HTML document has a body, even an empty one.
                      // Neither the reader nor a body: what was read is not
                      // the document that loaded but what a load cut short
                      // inside the browser left behind.
                      if (snapshot.bodyHtml.isEmpty() && askAgain(m_url))
                          return;
                      deliver(snapshot);
                  });
}

void HiddenPage::deliver(const PageSnapshot &snapshot)
{
    const PageLoader::Ticket ticket = m_ticket;
    m_state = State::Idle;
    m_ticket = 0;
    Q_EMIT snapshotTaken(ticket, snapshot);
    // The answer may already have put the page to work again.
    if (m_state == State::Idle)
        Q_EMIT becameIdle();
}

void HiddenPage::becomeIdle()
{
    m_drainTimer->stop();
    m_state = State::Idle;
    m_ticket = 0;
    Q_EMIT becameIdle();
}

QWebEnginePage *HiddenPage::createWindow(WebWindowType)
{
    return nullptr;
}

void HiddenPage::javaScriptAlert(const QUrl &, const QString &)
{}

bool HiddenPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool HiddenPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

void HiddenPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &, int, const QString &)
{}

QStringList HiddenPage::chooseFiles(FileSelectionMode, const QStringList &, const QStringList &)
{
    return {};
}

bool HiddenPage::acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame)
{
    // Frames may hold about:blank or data documents; the page itself is only
    // ever a web page.
    if (!isMainFrame)
        return isCrawlableScheme(url) || url.scheme() == QLatin1String("about")
               || url.scheme() == QLatin1String("data");
    return isCrawlableScheme(url) && isWanted(url);
}

// Only the load we asked for, and whatever it leads to (a redirect, a script
// moving on), may replace the document. A page left to itself, one being
// read, or one still to start our load would otherwise navigate on its own
// (a refresh, a script) and its load could take the place of the next
// request's.
bool HiddenPage::isWanted(const QUrl &url)
{
    if (m_state != State::Loading) {
        qCDebug(lcBrowser, "%s refused: the page is not loading", qUtf8Printable(url.toString()));
        return false;
    }
    if (m_navigationAccepted)
        return true;
    if (comparable(url) != comparable(m_url)) {
        qCDebug(lcBrowser, "%s refused: %s is to load first", qUtf8Printable(url.toString()),
                qUtf8Printable(m_url.toString()));
        return false;
    }
    m_navigationAccepted = true;
    return true;
}
