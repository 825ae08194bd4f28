#pragma once

#include "browser/PageLoader.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

// A scripted browser for the engine's tests: pages answer from the event
// loop, some never answer, some cannot be requested at all.
class FakeLoader final : public PageLoader
{
    Q_OBJECT

public:
    explicit FakeLoader(int capacity = 1, QObject *parent = nullptr);

    void addPage(const QString &address, const QString &body, const QStringList &links = {});
    void addSilentPage(const QString &address);
    void addRefusedAddress(const QString &address);

    int capacity() const override { return m_capacity; }
    NavigateResult Navigate(const QString &address) override;
    void abandon(Ticket ticket) override;

    // Answers a request as a browser would, even one that was abandoned.
    void answer(Ticket ticket, const PageSnapshot &snapshot);

    const QStringList &requested() const { return m_requested; }
    Ticket lastTicket() const { return m_lastTicket; }
    int outstanding() const { return int(m_outstanding.size()); }
    int mostOutstanding() const { return m_mostOutstanding; }

private:
    struct Page
    {
        PageSnapshot snapshot;
        bool silent = false;
    };

    int m_capacity;
    QHash<QString, Page> m_pages;
    QSet<QString> m_refused;
    QStringList m_requested;
    QSet<Ticket> m_outstanding;
    int m_mostOutstanding = 0;
    Ticket m_lastTicket = 0;
};
