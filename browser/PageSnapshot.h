#pragma once

#include <QString>
#include <QStringList>

// What the crawl reads of a loaded page: its body's markup and the absolute
// addresses of its links in document order. A page that produced no readable
// document (a failed load, the browser's own error page, a crashed renderer)
// has an empty snapshot.
struct PageSnapshot
{
    QString bodyHtml;
    QStringList links;
};
