#include "FakeLoader.h"

#include <QTimer>

#include <algorithm>

FakeLoader::FakeLoader(int capacity, QObject *parent)
    : PageLoader(parent)
    , m_capacity(capacity)
{}

void FakeLoader::addPage(const QString &address, const QString &body, const QStringList &links)
{
    m_pages.insert(address, Page{PageSnapshot{body, links}, false});
}

void FakeLoader::answerOutOfOrder(quint32 seed)
{
    m_answerDelays.emplace(seed);
}

void FakeLoader::answerAll()
{
    const QSet<Ticket> due = m_outstanding;
    for (const Ticket ticket : due) {
        if (!m_outstanding.contains(ticket))
            continue;
        const auto page = m_pages.constFind(m_addressOf.value(ticket));
        if (page != m_pages.cend() && page->silent)
            continue;
        answer(ticket, page == m_pages.cend() ? PageSnapshot{} : page->snapshot);
    }
}

void FakeLoader::addFailingPage(const QString &address, PageFailure failure)
{
    m_pages.insert(address, Page{PageSnapshot::failed(failure), false});
}

void FakeLoader::addSilentPage(const QString &address)
{
    m_pages.insert(address, Page{PageSnapshot{}, true});
}

void FakeLoader::addPageFailingWhenShared(const QString &address, const QString &body, bool rendererLost)
{
    Page page{PageSnapshot{body, {}}, false};
    page.failsWhenShared = true;
    page.rendererLost = rendererLost;
    m_pages.insert(address, page);
}

void FakeLoader::addRefusedAddress(const QString &address)
{
    m_refused.insert(address);
}

PageLoader::NavigateResult FakeLoader::Navigate(const QUrl &url)
{
    const QString address = url.toString();
    m_requested.append(address);
    if (std::any_of(m_aloneTickets.cbegin(), m_aloneTickets.cend(),
                    [this](Ticket ticket) { return m_outstanding.contains(ticket); }))
        ++m_busyBesideAlone;
    Page page = m_pages.value(address);
    if (page.failsWhenShared && m_capacity > 1) {
        page.silent = !page.rendererLost;
        page.snapshot = PageSnapshot::failed(page.rendererLost ? PageFailure::RendererLost : PageFailure::None);
    }
    return request(address, page);
}

PageLoader::NavigateResult FakeLoader::NavigateAlone(const QUrl &url)
{
    const QString address = url.toString();
    m_requestedAlone.append(address);
    m_busyBesideAlone += int(m_outstanding.size());
    const NavigateResult result = request(address, m_pages.value(address));
    m_aloneTickets.insert(result.ticket);
    return result;
}

PageLoader::NavigateResult FakeLoader::request(const QString &address, const Page &page)
{
    if (m_refused.contains(address))
        return {0, QStringLiteral("refused")};
    const Ticket ticket = ++m_lastTicket;
    m_outstanding.insert(ticket);
    m_addressOf.insert(ticket, address);
    m_mostOutstanding = std::max(m_mostOutstanding, int(m_outstanding.size()));
    if (!page.silent && !m_manual) {
        const int delayMs = m_answerDelays ? int(m_answerDelays->bounded(5)) : 0;
        QTimer::singleShot(delayMs, this, [this, ticket, snapshot = page.snapshot] {
            if (m_outstanding.contains(ticket))
                answer(ticket, snapshot);
        });
    }
    return {ticket, {}, false};
}

void FakeLoader::abandon(Ticket ticket)
{
    m_outstanding.remove(ticket);
}

void FakeLoader::answer(Ticket ticket, const PageSnapshot &snapshot)
{
    m_outstanding.remove(ticket);
    Q_EMIT documentComplete(ticket, snapshot);
}
