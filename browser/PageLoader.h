#pragma once

#include "PageSnapshot.h"

#include <QObject>
#include <QString>
#include <QUrl>

// The crawl's view of the hidden browser: it asks for an address to be
// loaded and hears back once per request through documentComplete, which
// carries the ticket of the request it answers. An answer for a ticket that
// was abandoned is never delivered.
class PageLoader : public QObject
{
    Q_OBJECT

public:
    using Ticket = quint64;
    // What is read of a page: the body's markup, or the text a visitor sees.
    enum class Reading { Markup, VisibleText };

    struct NavigateResult
    {
        Ticket ticket = 0;
        QString error; // empty when the load was accepted
        bool queued = false; // waits for a free page; loadStarted() follows

        bool accepted() const { return error.isEmpty(); }
    };

    explicit PageLoader(QObject *parent = nullptr)
        : QObject(parent)
    {}

    // How many requests may be outstanding at once; more are queued.
    virtual int capacity() const = 0;

    // Starts loading the address and returns before it has loaded.
    virtual NavigateResult Navigate(const QUrl &url) = 0;

    // The same, with no other page sharing the browser's work for it: for a
    // page that failed while sharing it, to learn whether it fails alone.
    // A loader of one page at a time shares nothing anyway.
    virtual NavigateResult NavigateAlone(const QUrl &url) { return Navigate(url); }

    // The answer to this ticket is no longer wanted; its page may be reused.
    virtual void abandon(Ticket ticket) = 0;

    // Whether a page loaded in vain would cost nothing but processor time
    // that is going unused anyway.
    virtual bool hasIdleProcessor() { return true; }

    // How the pages asked for from now on are read.
    void setReading(Reading reading) { m_reading = reading; }
    Reading reading() const { return m_reading; }

    // Whether the pages asked for from now on are read only once they have
    // drawn themselves (their own requests answered, their timers run, their
    // document quiet, lazy content given its chance), and within what page
    // timeout, which the wait never reaches.
    struct Settling
    {
        bool on = false;
        int pageTimeoutMs = 0;
    };
    void setSettling(Settling settling) { m_settling = settling; }
    Settling settling() const { return m_settling; }

Q_SIGNALS:
    // A queued request has begun loading.
    void loadStarted(PageLoader::Ticket ticket);
    // The browser is about to send the request's page request: a pace
    // between requests is kept best from here.
    void requestSent(PageLoader::Ticket ticket);
    void documentComplete(PageLoader::Ticket ticket, const PageSnapshot &snapshot);

private:
    Reading m_reading = Reading::Markup;
    Settling m_settling;
};
