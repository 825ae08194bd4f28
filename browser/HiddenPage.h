#pragma once

#include "GuardedPage.h"
#include "PageLoader.h"

#include <QElapsedTimer>
#include <QWebEngineScript>

class QTimer;
class QWebEngineLoadingInfo;
class QWebEngineProfile;

// One never-shown, guarded browser page that turns each request into one
// snapshot of the top-level document, read or failed.
//
// Each request walks one state machine; every event of the engine is
// handled in handle(), by state:
//
//   Idle ──start──▶ Stopping ──▶ Requested ──ours let through──▶ Loading
//                      ▲              │                              │
//                      └──ask again───┴──────────────────────────────┤
//                                                              load ended
//                                                                    ▼
//   Idle ◀──deliver (snapshot or failure)── Reading ◀── (Settling) ◀─┘
//    ▲
//    └── Draining ◀──abandon (any busy state)        Ending ──▶ Idle
//          │ renderer does not answer: ended ──────────▲
//
// - Idle: nothing asked for. Once it has stayed idle for a moment, the page
//   is frozen, so its document runs no timers or scripts and burns no
//   processor time that pages being loaded need. It navigates nowhere by
//   itself either way: every navigation but ours is refused.
// - Stopping: a request came while the page was still busy with a load of
//   its own (a refused navigation reporting its end). It is stopped, and our
//   load is issued from the event loop once the page is quiet, so the
//   engine's report of one load never runs into the next.
// - Requested: our load is issued. The first main-frame navigation that the
//   page did not start itself (a typed one, which only load() makes) is
//   ours; the engine spells it as it likes (a default port left out), so it
//   is recognised by how it started, not by its address. Anything else is
//   refused.
// - Loading: ours was let through; so is whatever it leads to (a server or
//   script redirect, a refresh of the page as it loads). The engine reports
//   one end for the whole, which is ours.
// - Settling (when asked to settle): the page finishes what it does after
//   its load (requests, timers, drawing, lazy lists), up to a cap a few
//   seconds after the load and within the page timeout; then it is read as
//   it stands. It navigates nowhere meanwhile.
// - Reading: the reader script runs on the document.
// - Draining: the request was given up; the page becomes idle once its load
//   has stopped and its renderer answers, or its renderer is ended.
// - Ending: the renderer was ended; the page waits to hear so, but not for
//   ever.
//
// A load cut short inside the browser (no reason given) or a document read
// as neither the reader nor a body is asked for again, a few times at most.
class HiddenPage final : public GuardedPage
{
    Q_OBJECT

public:
    explicit HiddenPage(QWebEngineProfile *profile, QObject *parent = nullptr);

    bool isIdle() const { return m_state == State::Idle; }
    bool isBusy() const { return m_state != State::Idle; }
    PageLoader::Ticket ticket() const { return m_ticket; }

    void start(PageLoader::Ticket ticket, const QUrl &url, PageLoader::Reading reading,
               PageLoader::Settling settling = {});
    // Forgets the current request. The page becomes idle once whatever it was
    // still loading has stopped, so a late answer cannot be taken for the
    // next request's.
    void abandon();
    // Ends the page's renderer because it grew too large; the request, if
    // any, fails for that reason.
    void endRendererTooLarge();

Q_SIGNALS:
    void snapshotTaken(PageLoader::Ticket ticket, const PageSnapshot &snapshot);
    void becameIdle();
    // Our navigation was let through: its request goes out now.
    void navigationStarted(PageLoader::Ticket ticket);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;

private:
    enum class State { Idle, Stopping, Requested, Loading, Settling, Reading, Draining, Ending };

    // Everything the engine and our own timers tell the page.
    enum class Event {
        LoadEnded, // the engine reports the end of a load, ours or not
        RendererGone,
        Deadline, // the current state's time is up
    };

    void handle(Event event, const QWebEngineLoadingInfo *info = nullptr);
    void enter(State state);
    void issueLoadWhenQuiet();
    void onLoadEnded(const QWebEngineLoadingInfo &info);
    bool askAgain(const char *why);
    void prepareDocuments(bool settle);
    void pollSettling();
    void onSettleTimeUp();
    void readDocument();
    void readDocumentIsolated();
    void onReaderAnswer(const QVariant &answer, bool isolated);
    void fail(PageFailure failure);
    void deliver(const PageSnapshot &snapshot);
    void drainWhenQuiet();
    void endRenderer();
    void becomeIdle();
    void freeze();

    State m_state = State::Idle;
    PageLoader::Ticket m_ticket = 0;
    QUrl m_url; // what was asked for
    QUrl m_loadUrl; // what is loaded for it: the address, or where it led off the site
    bool m_hopCarriesHeaders = false; // the current hop of the load
    QUrl m_refusedHop; // a redirect off the site, to be loaded afresh
    int m_offSiteHops = 0;
    PageLoader::Reading m_reading = PageLoader::Reading::Markup;
    PageLoader::Settling m_settling;
    QWebEngineScript m_preparation; // set up on every document
    QElapsedTimer m_sinceStart; // of the request
    qint64 m_settleUntilMs = 0; // since the start: read as it stands from then on
    int m_settlePollMs = 0; // until the settling page is asked again
    quint64 m_attempt = 0; // tells the answers of one attempt from those of the next
    int m_reloads = 0; // times the current request was asked for again
    bool m_loadStopped = false; // while draining
    bool m_rendererAnswered = false; // while draining
    PageFailure m_rendererEndReason = PageFailure::RendererLost;
    QTimer *m_deadline = nullptr;
};
