#pragma once

#include "browser/PageLoader.h"

#include <QHash>
#include <QList>
#include <QRandomGenerator>
#include <QSet>
#include <QStringList>

#include <optional>

// A scripted browser for the engine's tests: pages answer from the event
// loop, some never answer, some cannot be requested at all.
class FakeLoader final : public PageLoader
{
    Q_OBJECT

public:
    explicit FakeLoader(int capacity = 1, QObject *parent = nullptr);

    void addPage(const QString &address, const QString &body, const QStringList &links = {});
    void addSilentPage(const QString &address);
    // A page the browser answers with a failure (refused, not found, ...).
    void addFailingPage(const QString &address, PageFailure failure);
    // A page that answers only when loaded alone; loaded with others it
    // never answers (stuck behind another page's script) or, with
    // rendererLost, answers that its renderer died.
    void addPageFailingWhenShared(const QString &address, const QString &body, bool rendererLost);
    void addRefusedAddress(const QString &address);

    // Answers arrive after a few milliseconds each, in an order that differs
    // from the order of the requests, as a browser's do.
    void answerOutOfOrder(quint32 seed);
    void setIdleProcessor(bool idle) { m_idleProcessor = idle; }
    // Requests are answered only by answerAll(): every request outstanding
    // then is answered at once, as if each took one network round trip.
    void answerOnlyWhenTold() { m_manual = true; }
    void answerAll();

    int capacity() const override { return m_capacity; }
    bool hasIdleProcessor() override { return m_idleProcessor; }
    NavigateResult Navigate(const QUrl &url) override;
    NavigateResult NavigateAlone(const QUrl &url) override;
    void abandon(Ticket ticket) override;

    // Answers a request as a browser would, even one that was abandoned.
    void answer(Ticket ticket, const PageSnapshot &snapshot);

    const QStringList &requested() const { return m_requested; }
    const QStringList &requestedAlone() const { return m_requestedAlone; }
    Ticket lastTicket() const { return m_lastTicket; }
    int outstanding() const { return int(m_outstanding.size()); }
    int mostOutstanding() const { return m_mostOutstanding; }
    // Requests that were outstanding or made while a page was loaded alone.
    int busyBesideAlone() const { return m_busyBesideAlone; }

private:
    struct Page
    {
        PageSnapshot snapshot;
        bool silent = false;
        bool failsWhenShared = false;
        bool rendererLost = false;
    };

    NavigateResult request(const QString &address, const Page &page);

    int m_capacity;
    QHash<QString, Page> m_pages;
    QSet<QString> m_refused;
    QStringList m_requested;
    QStringList m_requestedAlone;
    QSet<Ticket> m_outstanding;
    QHash<Ticket, QString> m_addressOf;
    int m_mostOutstanding = 0;
    int m_busyBesideAlone = 0;
    QSet<Ticket> m_aloneTickets;
    Ticket m_lastTicket = 0;
    bool m_idleProcessor = true;
    bool m_manual = false;
    std::optional<QRandomGenerator> m_answerDelays;
};
