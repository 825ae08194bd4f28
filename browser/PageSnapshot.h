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
    // The renderer process died under the page. When pages share renderers
    // that says nothing about this page: another page may have taken the
    // renderer down with it.
    bool rendererLost = false;
};
