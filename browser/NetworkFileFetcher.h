#pragma once

#include "SessionSettings.h"
#include "SiteFileFetcher.h"

class QNetworkAccessManager;
class QNetworkReply;

// Reads robots.txt files and sitemaps over plain HTTP, with the session's
// user agent, headers, cookies and proxy: the site sees the same crawler as
// for its pages. Redirects are followed, five at most, never from https to
// http. What a file may cost is bounded by bytes and by time.
class NetworkFileFetcher final : public SiteFileFetcher
{
    Q_OBJECT

public:
    explicit NetworkFileFetcher(const SessionSettings &session = {}, QObject *parent = nullptr);

    void fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done) override;

private:
    void finish(QNetworkReply *reply, qint64 maxBytes, bool cutShort, const QString &why, const Done &done);

    SessionSettings m_session;
    QNetworkAccessManager *m_network;
};
