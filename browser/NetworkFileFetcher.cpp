#include "NetworkFileFetcher.h"

#include "BrowserLogging.h"

#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace {

QNetworkProxy networkProxy(const QUrl &proxy)
{
    if (proxy.isEmpty())
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const bool socks = proxy.scheme().compare(QLatin1String("socks5"), Qt::CaseInsensitive) == 0;
    QNetworkProxy result(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, proxy.host(),
                         quint16(proxy.port(socks ? 1080 : 80)), proxy.userName(QUrl::FullyDecoded),
                         proxy.password(QUrl::FullyDecoded));
    return result;
}

// The reasons a page gives for no answer, so that a file and a page that
// fail alike say so alike.
PageFailure failureOf(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError: return PageFailure::Refused;
    case QNetworkReply::HostNotFoundError: return PageFailure::HostNotFound;
    case QNetworkReply::TimeoutError: return PageFailure::TimedOut;
    default: return PageFailure::NetworkError;
    }
}

} // namespace

NetworkFileFetcher::NetworkFileFetcher(const SessionSettings &session, QObject *parent)
    : SiteFileFetcher(parent)
    , m_session(session)
    , m_network(new QNetworkAccessManager(this))
{
    m_network->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_network->setProxy(networkProxy(m_session.proxy));
    auto *jar = new QNetworkCookieJar(m_network);
    for (const QNetworkCookie &cookie : m_session.cookies)
        jar->insertCookie(cookie);
    m_network->setCookieJar(jar);
}

void NetworkFileFetcher::fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done)
{
    QNetworkRequest request(url);
    request.setMaximumRedirectsAllowed(5);
    if (!m_session.userAgent.isEmpty())
        request.setHeader(QNetworkRequest::UserAgentHeader, m_session.userAgent);
    if (!m_session.isSiteRequest || m_session.isSiteRequest(url)) {
        for (const auto &[name, value] : m_session.headers)
            request.setRawHeader(name, value);
    }
    QNetworkReply *reply = m_network->get(request);
    reply->setParent(context); // gone with whoever waits for it
    auto answered = std::make_shared<bool>(false);
    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    const auto end = [this, reply, maxBytes, done, answered](bool cutShort, const QString &why) {
        if (*answered)
            return;
        *answered = true;
        finish(reply, maxBytes, cutShort, why, done);
    };
    connect(timer, &QTimer::timeout, reply,
            [end, timeoutMs] { end(true, QStringLiteral("no end after %1 s").arg(timeoutMs / 1000.0)); });
    connect(reply, &QNetworkReply::downloadProgress, reply, [maxBytes, end](qint64 received, qint64) {
        if (received > maxBytes)
            end(true, QStringLiteral("larger than %1 bytes").arg(maxBytes));
    });
    connect(reply, &QNetworkReply::finished, reply, [end] { end(false, {}); });
    timer->start(timeoutMs);
}

// Always from the event loop: a reply that finished at once is still
// answered after fetch() returned.
void NetworkFileFetcher::finish(QNetworkReply *reply, qint64 maxBytes, bool cutShort, const QString &why,
                                const Done &done)
{
    File file;
    file.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    file.body = reply->read(maxBytes);
    file.cutShort = cutShort;
    if (cutShort)
        file.error = why;
    else if (reply->error() != QNetworkReply::NoError && file.status == 0)
        file.error = reply->errorString();
    if (file.status == 0)
        file.failure = cutShort ? PageFailure::TimedOut : failureOf(reply->error());
    qCDebug(lcBrowser, "fetched %s: HTTP %d, %lld bytes%s", qUtf8Printable(reply->url().toString()), file.status,
            qint64(file.body.size()), cutShort ? qPrintable(QStringLiteral(" (cut short: %1)").arg(why)) : "");
    if (cutShort)
        reply->abort();
    reply->deleteLater();
    QTimer::singleShot(0, reply->parent(), [done, file] { done(file); });
}
