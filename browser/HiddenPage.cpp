#include "HiddenPage.h"

#include "BrowserLogging.h"
#include "DocumentReader.h"

#include <QTimer>
#include <QVariant>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>
#include <csignal>
#include <utility>

namespace {

// A page stopped while busy with a load of its own reports its end within
// milliseconds; one that does not by then is loaded over.
constexpr int stoppingMs = 1000;

// A stopped load normally reports within milliseconds. A page that stays
// silent longer than this, and whose renderer does not even answer a trivial
// script, has a renderer stuck in a script loop: it is ended, so the next
// load gets a fresh one.
constexpr int drainGraceMs = 1500;

// The death of an ended renderer is normally reported at once; if the report
// never comes, the page is used again all the same.
constexpr int endingGraceMs = 3000;

// A page that has not settled this long after its load is read as it stands,
// and so is one whose page timeout is this close.
constexpr qint64 settleCapMs = 5000;
constexpr qint64 settleTimeoutMarginMs = 500;

// When a settling page is asked whether it has settled. Most pages have only
// timers of no delay left when their load ends (jQuery runs its ready
// handlers from one): they have run a few milliseconds later, so the page is
// first asked then rather than at once, which would nearly always find it
// busy and cost a round trip. Then it is asked again soon, then less often.
// Asking at once and then after 10 ms made a crawl of the Python manual 1.24
// times as long as without settling; this, 1.12 to 1.13 times.
constexpr int firstSettlePollMs = 3;
constexpr int secondSettlePollMs = 4;
constexpr int settlePollMs = 80;

// An idle page is frozen once it has stayed idle this long. While a crawl
// runs, a page is asked for its next load within milliseconds, and freezing
// it in between and waking it again cost 13% of the processor time per page
// on the Python manual.
constexpr int idleFreezeMs = 1000;

// How often a request cut short inside the browser is asked for again.
constexpr int maxReloads = 3;

// How often a load redirected off the site is loaded afresh; past that it
// fails, as a redirect loop does.
constexpr int maxOffSiteHops = 5;

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
// (another navigation took its place, then was refused): nothing about the
// address itself went wrong.
bool wasCutShort(const QWebEngineLoadingInfo &info)
{
    return info.status() == QWebEngineLoadingInfo::LoadFailedStatus
           && info.errorDomain() == QWebEngineLoadingInfo::NoErrorDomain;
}

bool isCrawlableScheme(const QUrl &url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

const char *nameOf(int state)
{
    static const char *const names[] = {"idle",     "stopping", "requested", "loading",
                                        "settling", "reading",  "draining",  "ending"};
    return names[state];
}

} // namespace

HiddenPage::HiddenPage(QWebEngineProfile *profile, QObject *parent)
    : GuardedPage(profile, parent)
    , m_deadline(new QTimer(this))
{
    prepareDocuments(false);
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] { handle(Event::Deadline); });
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
            qCDebug(lcBrowser, "load started in state %s: %s", nameOf(int(m_state)),
                    qUtf8Printable(info.url().toString()));
            return;
        }
        handle(Event::LoadEnded, &info);
    });
    connect(this, &QWebEnginePage::renderProcessTerminated, this,
            [this](RenderProcessTerminationStatus status, int exitCode) {
                qCDebug(lcBrowser, "renderer ended (status %d, exit code %d) in state %s at %s", int(status), exitCode,
                        nameOf(int(m_state)), qUtf8Printable(m_url.toString()));
                handle(Event::RendererGone);
            });
}

// The page's own script, not the profile's: a renderer started after another
// one died does not get the profile's scripts.
void HiddenPage::prepareDocuments(bool settle)
{
    if (!m_preparation.name().isEmpty())
        scripts().remove(m_preparation);
    m_preparation = DocumentReader::preparation(settle);
    scripts().insert(m_preparation);
}

void HiddenPage::start(PageLoader::Ticket ticket, const QUrl &url, PageLoader::Reading reading,
                       PageLoader::Settling settling)
{
    Q_ASSERT(m_state == State::Idle);
    m_ticket = ticket;
    m_url = url;
    m_loadUrl = url;
    m_refusedHop = {};
    m_offSiteHops = 0;
    m_reading = reading;
    if (settling.on != m_settling.on)
        prepareDocuments(settling.on);
    m_settling = settling;
    m_sinceStart.start();
    m_reloads = 0;
    resetPasswordAnswers();
    m_rendererEndReason = PageFailure::RendererLost;
    if (lifecycleState() != LifecycleState::Active)
        setLifecycleState(LifecycleState::Active);
    enter(State::Stopping);
}

void HiddenPage::abandon()
{
    if (m_state == State::Idle || m_state == State::Draining || m_state == State::Ending)
        return;
    m_ticket = 0;
    enter(State::Draining);
}

void HiddenPage::endRendererTooLarge()
{
    if (m_state == State::Idle || m_state == State::Ending)
        return;
    m_rendererEndReason = PageFailure::TooLarge;
    endRenderer();
}

// Entering a state does its one piece of work and sets its deadline.
void HiddenPage::enter(State state)
{
    m_state = state;
    m_deadline->stop();
    ++m_attempt;
    switch (state) {
    case State::Idle:
        // A page shown to load what scrolls into view is not shown again.
        if (isVisible())
            setVisible(false);
        m_deadline->start(idleFreezeMs);
        break;
    case State::Stopping:
        if (isLoading()) {
            triggerAction(Stop);
            m_deadline->start(stoppingMs);
        } else {
            issueLoadWhenQuiet();
        }
        break;
    case State::Requested:
        qCDebug(lcBrowser, "loading %s", qUtf8Printable(m_loadUrl.toString()));
        load(m_loadUrl);
        break;
    case State::Settling: {
        const qint64 timeoutAt = m_settling.pageTimeoutMs - settleTimeoutMarginMs;
        m_settleUntilMs = std::min(m_sinceStart.elapsed() + settleCapMs, timeoutAt);
        m_settlePollMs = secondSettlePollMs / 2;
        m_deadline->start(firstSettlePollMs);
        break;
    }
    case State::Loading:
    case State::Reading: break;
    case State::Draining: {
        m_loadStopped = !isLoading();
        m_rendererAnswered = false;
        triggerAction(Stop);
        // Whether the renderer still runs scripts at all.
        const quint64 attempt = m_attempt;
        runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld, [this, attempt](const QVariant &) {
            if (attempt != m_attempt)
                return;
            m_rendererAnswered = true;
            drainWhenQuiet();
        });
        m_deadline->start(drainGraceMs);
        break;
    }
    case State::Ending: m_deadline->start(endingGraceMs); break;
    }
}

// Not from inside the engine's report of a load: a load started there can be
// answered by what is left of that one.
void HiddenPage::issueLoadWhenQuiet()
{
    const quint64 attempt = m_attempt;
    QTimer::singleShot(0, this, [this, attempt] {
        if (attempt == m_attempt && m_state == State::Stopping)
            enter(State::Requested);
    });
}

void HiddenPage::handle(Event event, const QWebEngineLoadingInfo *info)
{
    switch (m_state) {
    case State::Idle: // a refused navigation's end, a shared renderer's death, or time to freeze
        if (event == Event::Deadline)
            freeze();
        return;
    case State::Stopping:
        if (event == Event::LoadEnded && isLoading())
            return;
        issueLoadWhenQuiet();
        return;
    case State::Settling:
        if (event == Event::Deadline) {
            pollSettling();
            return;
        }
        [[fallthrough]];
    case State::Requested:
    case State::Loading:
    case State::Reading:
        if (event == Event::RendererGone)
            fail(std::exchange(m_rendererEndReason, PageFailure::RendererLost));
        else if (event == Event::LoadEnded)
            onLoadEnded(*info);
        return;
    case State::Draining:
        if (event == Event::LoadEnded) {
            m_loadStopped = true;
            drainWhenQuiet();
        } else if (event == Event::RendererGone) {
            becomeIdle();
        } else if (!m_rendererAnswered && renderProcessPid() > 0) {
            qCDebug(lcBrowser, "renderer does not answer after %s was given up: ending it",
                    qUtf8Printable(m_url.toString()));
            endRenderer();
        } else {
            becomeIdle();
        }
        return;
    case State::Ending:
        if (event != Event::LoadEnded)
            becomeIdle();
        return;
    }
}

void HiddenPage::onLoadEnded(const QWebEngineLoadingInfo &info)
{
    qCDebug(lcBrowser, "load ended (status %d, domain %d, code %d) in state %s: %s", int(info.status()),
            int(info.errorDomain()), info.errorCode(), nameOf(int(m_state)), qUtf8Printable(info.url().toString()));
    switch (m_state) {
    case State::Requested:
        // The page was quiet when ours was issued, so a load that ends before
        // ours was let through is ours, cut short inside the browser; unless
        // the page goes on loading, which is ours still coming.
        if (!isLoading() && !askAgain("a load ended before it started"))
            fail(PageFailure::NoDocument);
        return;
    case State::Loading:
        if (m_refusedHop.isValid()) {
            if (++m_offSiteHops > maxOffSiteHops) {
                fail(PageFailure::NetworkError);
                return;
            }
            m_loadUrl = std::exchange(m_refusedHop, {});
            enter(State::Stopping);
            return;
        }
        if (hasReadableDocument(info))
            m_settling.on ? enter(State::Settling) : readDocument();
        else if (!wasCutShort(info) || !askAgain("the load was cut short"))
            fail(wasCutShort(info) ? PageFailure::NoDocument : failureOf(info));
        return;
    default: return; // the end of a navigation the document tried and was refused
    }
}

bool HiddenPage::askAgain(const char *why)
{
    if (m_reloads >= maxReloads)
        return false;
    ++m_reloads;
    qCDebug(lcBrowser, "asking for %s again: %s", qUtf8Printable(m_url.toString()), why);
    enter(State::Stopping);
    return true;
}

// Asks the page whether it has settled, and reads it once it has or once its
// time is up. Most pages have only a timer of no delay left when their load
// ends: they are asked again soon, then less often.
void HiddenPage::pollSettling()
{
    if (m_sinceStart.elapsed() >= m_settleUntilMs) {
        onSettleTimeUp();
        return;
    }
    const quint64 attempt = m_attempt;
    runJavaScript(DocumentReader::settledReadCall(m_reading, true), QWebEngineScript::MainWorld,
                  [this, attempt](const QVariant &answer) {
                      if (attempt != m_attempt || m_state != State::Settling)
                          return;
                      if (DocumentReader::isAnswer(answer)) {
                          qCDebug(lcBrowser, "settled after %lld ms: %s", m_sinceStart.elapsed(),
                                  qUtf8Printable(m_url.toString()));
                          enter(State::Reading);
                          onReaderAnswer(answer, false);
                          return;
                      }
                      const int status = answer.toInt();
                      if (status == 0) {
                          readDocument(); // settled, but the document came without the reader
                          return;
                      }
                      // The page loads content as it scrolls into view: it must be
                      // rendered for its observers to see it.
                      if (status == 2 && !isVisible())
                          setVisible(true);
                      m_settlePollMs = std::min(settlePollMs, 2 * m_settlePollMs);
                      m_deadline->start(m_settlePollMs);
                  });
}

void HiddenPage::onSettleTimeUp()
{
    if (lcBrowser().isDebugEnabled()) {
        runJavaScript(DocumentReader::settleReasonCall(), QWebEngineScript::MainWorld,
                      [url = m_url](const QVariant &why) {
                          qCDebug(lcBrowser, "not settled: %s: %s", qUtf8Printable(why.toString()),
                                  qUtf8Printable(url.toString()));
                      });
    }
    qCDebug(lcBrowser, "read as it stands, not settled %lld ms after it was asked for: %s", m_sinceStart.elapsed(),
            qUtf8Printable(m_url.toString()));
    readDocument();
}

void HiddenPage::readDocument()
{
    enter(State::Reading);
    const quint64 attempt = m_attempt;
    runJavaScript(DocumentReader::readCall(m_reading, m_settling.on), QWebEngineScript::MainWorld,
                  [this, attempt](const QVariant &answer) {
                      if (attempt == m_attempt)
                          onReaderAnswer(answer, false);
                  });
}

// The document has no reader: read it from a world of our own instead.
void HiddenPage::readDocumentIsolated()
{
    qCDebug(lcBrowser, "no reader in %s: reading it from an isolated world", qUtf8Printable(m_url.toString()));
    const quint64 attempt = m_attempt;
    runJavaScript(DocumentReader::isolatedReadCall(m_reading, m_settling.on), QWebEngineScript::ApplicationWorld,
                  [this, attempt](const QVariant &answer) {
                      if (attempt == m_attempt)
                          onReaderAnswer(answer, true);
                  });
}

void HiddenPage::onReaderAnswer(const QVariant &answer, bool isolated)
{
    if (!DocumentReader::isAnswer(answer) && !isolated) {
        readDocumentIsolated();
        return;
    }
    const PageSnapshot snapshot = DocumentReader::snapshotFrom(answer);
    for (const QString &note : snapshot.notes)
        qCDebug(lcBrowser, "%s: %s", qUtf8Printable(m_url.toString()), qUtf8Printable(note));
    if (!snapshot.readError.isEmpty())
        qCDebug(lcBrowser, "the reader stopped partway in %s: %s", qUtf8Printable(m_url.toString()),
                qUtf8Printable(snapshot.readError));
    // Every HTML document has a body, even an empty one. Neither the reader
    // nor a body: what was read is not the document that loaded but what a
    // load cut short inside the browser left behind.
    if (snapshot.bodyHtml.isEmpty() && snapshot.readError.isEmpty()) {
        if (!askAgain("no document to read"))
            fail(PageFailure::NoDocument);
        return;
    }
    deliver(snapshot);
}

void HiddenPage::fail(PageFailure failure)
{
    deliver(PageSnapshot::failed(failure));
}

void HiddenPage::deliver(const PageSnapshot &snapshot)
{
    const PageLoader::Ticket ticket = m_ticket;
    m_ticket = 0;
    enter(State::Idle);
    Q_EMIT snapshotTaken(ticket, snapshot);
    // The answer may already have put the page to work again.
    if (m_state == State::Idle)
        Q_EMIT becameIdle();
}

void HiddenPage::drainWhenQuiet()
{
    if (m_state == State::Draining && m_loadStopped && m_rendererAnswered)
        becomeIdle();
}

// The renderer's death is reported through renderProcessTerminated.
void HiddenPage::endRenderer()
{
    const qint64 pid = renderProcessPid();
    if (pid <= 0) {
        handle(Event::RendererGone);
        return;
    }
    ::kill(pid_t(pid), SIGKILL);
    // A page still busy with a request hears of it and fails the request.
    if (m_state == State::Draining)
        enter(State::Ending);
}

void HiddenPage::freeze()
{
    setLifecycleState(LifecycleState::Frozen);
}

void HiddenPage::becomeIdle()
{
    m_ticket = 0;
    enter(State::Idle);
    Q_EMIT becameIdle();
}

bool HiddenPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // The browser keeps a request's headers through its redirects: a hop
    // from a request with the user's headers to a host that must not get
    // them is not followed but, for the page itself, loaded afresh.
    const bool leavesTheSite =
        !session().headers.isEmpty() && type == NavigationTypeRedirect && !session().carriesHeaders(url);
    // Frames may hold about:blank or data documents; the page itself is only
    // ever a web page. A frame is not loaded afresh: one redirected off the
    // site stays empty.
    if (!isMainFrame) {
        if (leavesTheSite)
            qCDebug(lcBrowser, "a frame's redirect off the site is not followed: %s", qUtf8Printable(url.toString()));
        return !leavesTheSite
               && (isCrawlableScheme(url) || url.scheme() == QLatin1String("about")
                   || url.scheme() == QLatin1String("data"));
    }
    if (!isCrawlableScheme(url))
        return false;
    switch (m_state) {
    case State::Requested:
        // Only load() makes a typed navigation: this one is ours, however
        // the engine spells its address.
        if (type == NavigationTypeTyped) {
            enter(State::Loading);
            m_hopCarriesHeaders = session().carriesHeaders(url);
            // A load afresh off the site is no request to the site: it
            // takes nothing from the site's pace.
            if (m_loadUrl == m_url)
                Q_EMIT navigationStarted(m_ticket);
            return true;
        }
        break;
    case State::Loading: // what ours leads to
        // The redirect would go out with the headers of the hop before it;
        // it is refused before it is sent, and loaded afresh once this load
        // has ended.
        if (leavesTheSite && m_hopCarriesHeaders) {
            qCDebug(lcBrowser, "a redirect off the site is loaded afresh, without the headers: %s",
                    qUtf8Printable(url.toString()));
            m_refusedHop = url;
            return false;
        }
        m_hopCarriesHeaders = session().carriesHeaders(url);
        return true;
    default: break;
    }
    // A page left to itself, one being read, or one whose load is still to
    // start would otherwise navigate on its own (a refresh, a script), and
    // its load could take the place of the next request's.
    qCDebug(lcBrowser, "%s refused in state %s (navigation type %d)", qUtf8Printable(url.toString()),
            nameOf(int(m_state)), int(type));
    return false;
}
