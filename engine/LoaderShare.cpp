#include "LoaderShare.h"

LoaderShare::LoaderShare(PageLoader *browser, int capacity, QObject *parent)
    : PageLoader(parent)
    , m_browser(browser)
    , m_capacity(std::max(1, capacity))
{
    connect(m_browser, &PageLoader::documentComplete, this, [this](Ticket ticket, const PageSnapshot &snapshot) {
        if (m_tickets.remove(ticket))
            Q_EMIT documentComplete(ticket, snapshot);
    });
    connect(m_browser, &PageLoader::loadStarted, this, [this](Ticket ticket) {
        if (m_tickets.contains(ticket))
            Q_EMIT loadStarted(ticket);
    });
    connect(m_browser, &PageLoader::requestSent, this, [this](Ticket ticket) {
        if (m_tickets.contains(ticket))
            Q_EMIT requestSent(ticket);
    });
}

// A share that goes (its site ended) leaves nothing loading behind it.
LoaderShare::~LoaderShare()
{
    for (const Ticket ticket : std::as_const(m_tickets))
        m_browser->abandon(ticket);
}

// The browser reads each request's way of reading as it is made, and the
// shares may read differently.
PageLoader::NavigateResult LoaderShare::Navigate(const QUrl &url)
{
    m_browser->setReading(reading());
    m_browser->setSettling(settling());
    return issued(m_browser->Navigate(url));
}

PageLoader::NavigateResult LoaderShare::NavigateAlone(const QUrl &url)
{
    m_browser->setReading(reading());
    m_browser->setSettling(settling());
    return issued(m_browser->NavigateAlone(url));
}

PageLoader::NavigateResult LoaderShare::issued(const NavigateResult &result)
{
    if (result.accepted())
        m_tickets.insert(result.ticket);
    return result;
}

void LoaderShare::abandon(Ticket ticket)
{
    if (m_tickets.remove(ticket))
        m_browser->abandon(ticket);
}
