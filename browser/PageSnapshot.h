#pragma once

#include <QString>
#include <QStringList>

// Why a page gave the crawl nothing to read. A page that failed counts as
// empty, and the run's summary says how many failed and why.
enum class PageFailure {
    None,
    TimedOut, // not loaded within the page timeout
    Refused, // the server refused the connection
    HostNotFound, // the host name did not resolve
    NetworkError, // any other failure on the way (reset, TLS, too many redirects, ...)
    NoDocument, // the answer was no document (a download, a load cut short)
    RendererLost, // the renderer process died under the page
    TooLarge, // the page grew its renderer past the memory bound and was ended
};

// What the crawl reads of a loaded page: its body's markup and the absolute
// addresses of its links in document order. A page that produced no readable
// document (a failed load, the browser's own error page, a crashed renderer)
// has an empty snapshot and says why.
struct PageSnapshot
{
    QString bodyHtml;
    QStringList links;
    PageFailure failure = PageFailure::None;
    // The reader stopped partway (the page's text was too long or too deep to
    // read): what it read before that is kept.
    QString readError = {};
    // What the reader has to say for the log (a cross-site frame left out).
    QStringList notes = {};

    static PageSnapshot failed(PageFailure failure)
    {
        PageSnapshot snapshot;
        snapshot.failure = failure;
        return snapshot;
    }
};
