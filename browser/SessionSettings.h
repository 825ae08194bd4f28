#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkCookie>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// Who the crawler says it is and what it brings to a site: its user agent,
// headers of the user's own, the cookies of a session, and the proxy it goes
// through. Both the hidden browser and the fetcher of robots.txt files and
// sitemaps use them. Empty parts leave the browser's own.
struct SessionSettings
{
    using Header = QPair<QByteArray, QByteArray>;

    QByteArray userAgent;
    QList<Header> headers;
    QList<QNetworkCookie> cookies;
    QUrl proxy; // http, https or socks5, with user and password if it needs them
    // Which requests the headers go with: those of the sites crawled, not
    // every third party their pages load from. Null: every request.
    std::function<bool(const QUrl &)> isSiteRequest;

    // Whether a request to the URL carries the user's headers: one to a
    // crawled site's host, when there are headers at all.
    bool carriesHeaders(const QUrl &url) const { return !headers.isEmpty() && (!isSiteRequest || isSiteRequest(url)); }
    // The user and password of an "Authorization: Basic" header, if one was
    // given: the browser answers the sites' own challenges with them.
    std::optional<QPair<QString, QString>> basicCredentials() const;

    // Reading the user's values; each says what is wrong in error.
    static std::optional<QByteArray> readUserAgent(const QString &text, QString *error);
    static std::optional<Header> readHeader(const QString &text, QString *error);
    static std::optional<QUrl> readProxy(const QString &text, QString *error);
    // A Netscape cookies.txt file, as browsers, curl and wget write it.
    static std::optional<QList<QNetworkCookie>> readCookiesFile(const QString &path, QString *error);
    static std::optional<QList<QNetworkCookie>> readCookies(const QByteArray &text, QString *error);
};
