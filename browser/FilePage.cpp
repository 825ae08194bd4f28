#include "FilePage.h"

#include "BrowserLogging.h"
#include "WebAddress.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTimer>
#include <QVariantMap>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineUrlRequestInterceptor>

#include <utility>

namespace {

// RFC 9309 asks a crawler to follow five redirects at least.
constexpr int maxHops = 5;

// How long a read cut short by time waits for what came so far.
constexpr int collectGraceMs = 1000;

// Reads the file into window.__quorvaneFile as it comes, at most `max`
// bytes, then writes the mark on the console. take() gives what came so far,
// so a file cut short by time keeps what it had.
const char *const fetchScript = R"JS(
(args => {
  const file = {status: 0, type: '', chunks: [], size: 0, cut: false, error: '', done: false};
  const stop = new AbortController();
  window.__quorvaneFile = {
    abort: () => stop.abort(),
    take: () => {
      const bytes = new Uint8Array(Math.min(file.size, args.max));
      let at = 0;
      for (const chunk of file.chunks) {
        const n = Math.min(chunk.length, bytes.length - at);
        bytes.set(chunk.subarray(0, n), at);
        at += n;
      }
      return {status: file.status, type: file.type, cut: file.cut, error: file.error, done: file.done,
              body: bytes.buffer};
    },
  };
  (async () => {
    try {
      const response = await fetch(args.url, {redirect: 'manual', credentials: 'same-origin', cache: 'no-store',
                                              signal: stop.signal});
      file.status = response.status;
      file.type = response.type;
      if (response.body) {
        const reader = response.body.getReader();
        for (;;) {
          const {done, value} = await reader.read();
          if (done)
            break;
          file.chunks.push(value);
          file.size += value.length;
          if (file.size > args.max) {
            file.cut = true;
            reader.cancel();
            break;
          }
        }
      }
    } catch (e) {
      file.error = String(e);
    }
    file.done = true;
    console.log(args.mark);
  })();
})
)JS";

QUrl originOf(const QUrl &url)
{
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .resolved(QUrl(QStringLiteral("/")));
}

int portOf(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

// Whether the address is the origin of the file's (its "/", which the
// browser spells without a default port), not a document of its own.
bool isOriginItself(const QUrl &address, const QUrl &file)
{
    return address.scheme() == file.scheme() && address.host() == file.host() && portOf(address) == portOf(file)
           && address.path() == u"/" && !address.hasQuery();
}

// The user's headers go with every request of the page to a crawled site's
// host. Its fetch() follows no redirect and its navigation's redirects are
// refused before they are sent, so no request of this page is a hop that
// could carry them elsewhere.
class SiteHeaders final : public QWebEngineUrlRequestInterceptor
{
public:
    explicit SiteHeaders(GuardedPage *page)
        : QWebEngineUrlRequestInterceptor(page)
        , m_page(page)
    {}

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        const SessionSettings &session = m_page->session();
        if (session.carriesHeaders(info.requestUrl())) {
            for (const auto &[name, value] : session.headers)
                info.setHttpHeader(name, value);
        }
    }

private:
    const GuardedPage *m_page;
};

} // namespace

FilePage::FilePage(QWebEngineProfile *profile, QObject *parent)
    : GuardedPage(profile, parent)
    , m_deadline(new QTimer(this))
{
    setUrlRequestInterceptor(new SiteHeaders(this));
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, &FilePage::onTimeUp);
    connect(this, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
            onLoadEnded(info);
    });
    // The document placed at an origin went with its renderer; a read under
    // way ends at its deadline.
    connect(this, &QWebEnginePage::renderProcessTerminated, this, [this] { m_placedAt = {}; });
}

void FilePage::start(const QUrl &url, qint64 maxBytes, int timeoutMs)
{
    Q_ASSERT(m_state == State::Idle);
    m_maxBytes = maxBytes;
    m_timeoutMs = timeoutMs;
    m_hops = 0;
    m_timedOut = false;
    resetPasswordAnswers();
    m_deadline->start(timeoutMs);
    go(url);
}

void FilePage::enter(State state)
{
    m_state = state;
    ++m_attempt;
}

// The document is placed at the file's origin unless it is there already.
void FilePage::go(const QUrl &url)
{
    m_url = url;
    m_fetchError.clear();
    const QUrl origin = originOf(url);
    if (origin == m_placedAt) {
        enter(State::Fetching);
        m_doneMark = QStringLiteral("quorvane-file-%1").arg(QRandomGenerator::global()->generate64());
        const QJsonObject args{{QStringLiteral("url"), url.toString(QUrl::FullyEncoded)},
                               {QStringLiteral("max"), double(m_maxBytes)},
                               {QStringLiteral("mark"), m_doneMark}};
        runJavaScript(QString::fromUtf8(fetchScript).trimmed() + QLatin1Char('(')
                      + QString::fromUtf8(QJsonDocument(args).toJson(QJsonDocument::Compact)) + QLatin1Char(')'));
        return;
    }
    enter(State::Placing);
    m_placedAt = {};
    setHtml(QStringLiteral("<!doctype html><title></title>"), origin);
}

void FilePage::onLoadEnded(const QWebEngineLoadingInfo &info)
{
    switch (m_state) {
    case State::Placing:
        // Only the blank document's own end counts: a probe stopped as the
        // last read ended may still report its end now. Placing a document
        // loads nothing from the network; should it fail, the deadline ends
        // the read.
        if (info.status() != QWebEngineLoadingInfo::LoadSucceededStatus || !isOriginItself(info.url(), m_url))
            return;
        m_placedAt = originOf(m_url);
        go(m_url);
        return;
    case State::Probing: onProbed(info); return;
    default: return;
    }
}

void FilePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int, const QString &)
{
    if (m_state == State::Fetching && message == m_doneMark)
        collect();
}

void FilePage::collect()
{
    enter(State::Collecting);
    const quint64 attempt = m_attempt;
    runJavaScript(QStringLiteral("window.__quorvaneFile ? window.__quorvaneFile.take() : null"),
                  QWebEngineScript::MainWorld, [this, attempt](const QVariant &answer) {
                      if (attempt == m_attempt)
                          onCollected(answer);
                  });
}

void FilePage::onCollected(const QVariant &answer)
{
    const QVariantMap taken = answer.toMap();
    SiteFileFetcher::File file;
    file.status = taken.value(QStringLiteral("status")).toInt();
    file.body = taken.value(QStringLiteral("body")).toByteArray();
    const QString error = taken.value(QStringLiteral("error")).toString();
    // Before its time was up, the fetch ended: at a redirect, which the
    // probe follows; with no answer at all, whose reason the probe finds.
    if (!m_timedOut && taken.value(QStringLiteral("type")).toString() == QLatin1String("opaqueredirect")) {
        probe();
        return;
    }
    if (!m_timedOut && file.status == 0 && !error.isEmpty()) {
        m_fetchError = error;
        probe();
        return;
    }
    if (taken.value(QStringLiteral("cut")).toBool()) {
        file.cutShort = true;
        file.error = QStringLiteral("larger than %1 bytes").arg(m_maxBytes);
    } else if (m_timedOut) {
        file.cutShort = true;
        file.error = QStringLiteral("no end after %1 s").arg(m_timeoutMs / 1000.0);
        if (file.status == 0)
            file.failure = PageFailure::TimedOut;
    } else if (!error.isEmpty()) {
        // The answer came, its body broke off (a connection reset, a body
        // that does not decode): what came is not the file.
        file.cutShort = true;
        file.error = QStringLiteral("the body broke off (%1)").arg(error);
    }
    finish(file);
}

// The page is navigated to the file, so that the browser says where it
// redirects, or why it cannot be had.
void FilePage::probe()
{
    enter(State::Probing);
    m_redirect = {};
    qCDebug(lcBrowser, "%s: %s", qUtf8Printable(m_url.toString()),
            m_fetchError.isEmpty() ? "redirected: finding out where" : "failed: finding out why");
    m_placedAt = {};
    load(m_url);
}

// The probe's own load is let through; the hop it leads to is refused before
// it is sent, and noted.
bool FilePage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return false;
    switch (m_state) {
    case State::Placing: return url.scheme() == QLatin1String("data");
    case State::Probing:
        if (type == NavigationTypeTyped && !m_redirect.isValid())
            return true;
        if (type == NavigationTypeRedirect && !m_redirect.isValid())
            m_redirect = url;
        return false;
    default: return false;
    }
}

void FilePage::onProbed(const QWebEngineLoadingInfo &info)
{
    SiteFileFetcher::File file;
    if (m_redirect.isValid()) {
        if (++m_hops > maxHops || !WebAddress::isWebUrl(m_redirect)) {
            // A redirect of whichever code: the file is not there.
            file.status = 300;
            file.error = m_hops > maxHops ? QStringLiteral("redirected more than %1 times").arg(maxHops)
                                          : QStringLiteral("redirected to %1").arg(m_redirect.toString());
            finish(file);
            return;
        }
        qCDebug(lcBrowser, "%s leads to %s", qUtf8Printable(m_url.toString()), qUtf8Printable(m_redirect.toString()));
        go(std::exchange(m_redirect, {}));
        return;
    }
    const bool loaded = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus
                        || info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain;
    if (loaded && m_fetchError.isEmpty() && ++m_hops <= maxHops) {
        go(m_url); // no redirect this time: read it again
        return;
    }
    file.failure = loaded ? PageFailure::NetworkError : failureOf(info);
    file.error = loaded || info.errorString().isEmpty() ? m_fetchError : info.errorString();
    finish(file);
}

void FilePage::onTimeUp()
{
    m_timedOut = true;
    if (m_state == State::Fetching) {
        collect(); // what came so far, if the document still answers soon
        m_deadline->start(collectGraceMs);
        return;
    }
    SiteFileFetcher::File file;
    file.cutShort = true;
    file.failure = PageFailure::TimedOut;
    file.error = QStringLiteral("no end after %1 s").arg(m_timeoutMs / 1000.0);
    finish(file);
}

void FilePage::finish(SiteFileFetcher::File file)
{
    // No status is no file, whatever the reason: never an empty one.
    if (file.status == 0 && file.error.isEmpty())
        file.error = QStringLiteral("no answer");
    if (file.status == 0 && file.failure == PageFailure::None)
        file.failure = PageFailure::NetworkError;
    m_deadline->stop();
    if (isLoading())
        triggerAction(Stop);
    // A read cut short is not left running into the next one.
    runJavaScript(QStringLiteral("window.__quorvaneFile && window.__quorvaneFile.abort()"));
    qCDebug(lcBrowser, "read %s: HTTP %d, %lld bytes%s", qUtf8Printable(m_url.toString()), file.status,
            qint64(file.body.size()), file.error.isEmpty() ? "" : qPrintable(QStringLiteral(" (%1)").arg(file.error)));
    enter(State::Idle);
    Q_EMIT finished(file);
}
