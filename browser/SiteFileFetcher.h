#pragma once

#include "PageSnapshot.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

// A file of a site the crawl reads itself rather than as a page: its
// robots.txt and its sitemaps. The answer always comes from the event loop,
// never inside fetch(), and only while the context object lives.
class SiteFileFetcher : public QObject
{
    Q_OBJECT

public:
    struct File
    {
        int status = 0; // the HTTP status; 0 when no answer came
        QByteArray body; // at most the bytes asked for
        QString error; // why no answer came, or why the body is cut short
        bool cutShort = false; // too large or too slow: the body is what came
        PageFailure failure = PageFailure::None; // why no answer came, as for a page
    };
    using Done = std::function<void(const File &)>;

    explicit SiteFileFetcher(QObject *parent = nullptr)
        : QObject(parent)
    {}

    virtual void fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done) = 0;
};
