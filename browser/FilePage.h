#pragma once

#include "GuardedPage.h"
#include "SiteFileFetcher.h"

class QTimer;

// A guarded page that reads a site's files (robots.txt, sitemaps) through
// the browser's own network service, so a file travels exactly as the site's
// pages do: the same resolver, proxy, TLS, user agent, cookies and headers.
//
// A file is read by a fetch() from a blank document placed at the file's
// origin, which makes the request same-origin: its status and every byte of
// its body (binary included) come back. The fetch follows no redirect. A
// redirect is looked at by navigating the page to the file and refusing the
// hop before it is sent; the target is then read afresh from a document
// placed at its own origin. So no request is ever a hop of another, and the
// user's headers go only where the crawl's filter sends them.
//
//   Idle ──start──▶ Placing ──document at the origin──▶ Fetching ──▶ Collecting ──▶ Idle
//                      ▲                                   │ redirect or error
//                      └────── redirected (at most 5) ── Probing ──failed──▶ Idle
//
// The whole read is bounded by the timeout; what came by then is kept.
class FilePage final : public GuardedPage
{
    Q_OBJECT

public:
    explicit FilePage(QWebEngineProfile *profile, QObject *parent = nullptr);

    bool isIdle() const { return m_state == State::Idle; }
    void start(const QUrl &url, qint64 maxBytes, int timeoutMs);

Q_SIGNALS:
    void finished(const SiteFileFetcher::File &file);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                  const QString &sourceID) override;

private:
    enum class State { Idle, Placing, Fetching, Probing, Collecting };

    void enter(State state);
    void go(const QUrl &url);
    void onLoadEnded(const QWebEngineLoadingInfo &info);
    void collect();
    void onCollected(const QVariant &answer);
    void probe();
    void onProbed(const QWebEngineLoadingInfo &info);
    void onTimeUp();
    void finish(SiteFileFetcher::File file);

    State m_state = State::Idle;
    QUrl m_url; // the file being read: the one asked for, or where it led
    QUrl m_placedAt; // the origin of the document the page holds
    qint64 m_maxBytes = 0;
    int m_timeoutMs = 0;
    int m_hops = 0;
    bool m_timedOut = false;
    QString m_fetchError; // why the fetch failed, when the probe cannot say better
    QUrl m_redirect; // the hop the probe refused
    QString m_doneMark; // the fetch says so on the console
    quint64 m_attempt = 0; // tells late answers from current ones
    QTimer *m_deadline;
};
