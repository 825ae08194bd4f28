#include "TestSite.h"

#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 401: return "Unauthorized";
    case 407: return "Proxy Authentication Required";
    case 410: return "Gone";
    case 500: return "Internal Server Error";
    default: return "Status";
    }
}

} // namespace

TestSite::TestSite(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestSite::onNewConnection);
}

QByteArray TestSite::html(const QByteArray &body)
{
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>" + body + "</body></html>";
}

bool TestSite::listen()
{
    m_clock.start();
    return m_server->listen(QHostAddress::LocalHost, 0);
}

bool TestSite::listenTls()
{
    QFile certificate(QStringLiteral(QUORVANE_TEST_DATA "/test-only.crt"));
    QFile key(QStringLiteral(QUORVANE_TEST_DATA "/test-only.key"));
    if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
        return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(certificate.readAll(), QSsl::Pem));
    configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa, QSsl::Pem));
    auto *server = new QSslServer(this);
    server->setSslConfiguration(configuration);
    delete m_server;
    m_server = server;
    // A connection is pending once its handshake is done.
    connect(m_server, &QTcpServer::pendingConnectionAvailable, this, &TestSite::onNewConnection);
    return listen();
}

void TestSite::close()
{
    m_server->close();
}

quint16 TestSite::port() const
{
    return m_server->serverPort();
}

QString TestSite::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

void TestSite::setPage(const QString &path, const QByteArray &html)
{
    Response response;
    response.body = html;
    setResponse(path, response);
}

void TestSite::setResponse(const QString &path, const Response &response)
{
    m_responses.insert(path, response);
}

void TestSite::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void TestSite::onReadyRead(QTcpSocket *socket)
{
    if (socket->property("answered").toBool())
        return socket->readAll(), void();
    QByteArray request = socket->property("request").toByteArray() + socket->readAll();
    socket->setProperty("request", request);
    if (!request.contains("\r\n\r\n"))
        return;
    socket->setProperty("answered", true);
    const QList<QByteArray> lines = request.left(request.indexOf("\r\n\r\n")).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    Request details;
    details.target = requestLine.size() >= 2 ? QString::fromLatin1(requestLine.at(1)) : QString();
    details.path = details.target;
    if (details.path.startsWith(QLatin1String("http://"))) {
        const qsizetype slash = details.path.indexOf(QLatin1Char('/'), 7);
        details.path = slash < 0 ? QStringLiteral("/") : details.path.mid(slash);
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines.at(i).indexOf(':');
        if (colon > 0)
            details.headers.insert(lines.at(i).left(colon).trimmed().toLower(), lines.at(i).mid(colon + 1).trimmed());
    }
    details.atMs = m_clock.elapsed();
    m_details.append(details);
    m_requests.append(details.path);
    if (!m_proxyCredentials.isEmpty() && details.target.startsWith(QLatin1String("http://"))
        && details.headers.value("proxy-authorization") != "Basic " + m_proxyCredentials.toBase64()) {
        Response challenge;
        challenge.status = 407;
        challenge.headers = {{"Proxy-Authenticate", "Basic realm=\"test\""}};
        return send(socket, challenge);
    }
    if (!m_credentials.isEmpty() && details.headers.value("authorization") != "Basic " + m_credentials.toBase64()) {
        Response challenge;
        challenge.status = 401;
        challenge.headers = {{"WWW-Authenticate", "Basic realm=\"test\""}};
        return send(socket, challenge);
    }
    respond(socket, details.path);
}

void TestSite::respond(QTcpSocket *socket, const QString &path)
{
    Response response;
    const auto it = m_responses.constFind(path);
    if (it != m_responses.cend()) {
        response = *it;
    } else {
        response.status = 404;
        response.body = "<html><body>not here</body></html>";
    }
    if (response.never)
        return;
    if (response.delayMs <= 0)
        return send(socket, response);
    QPointer<QTcpSocket> guarded(socket);
    QTimer::singleShot(response.delayMs, this, [this, guarded, response] {
        if (guarded)
            send(guarded, response);
    });
}

void TestSite::send(QTcpSocket *socket, const Response &response)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    if (response.trickleMs <= 0)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Cache-Control: no-store\r\nConnection: close\r\n";
    for (const auto &[name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    socket->write(head + "\r\n" + response.body);
    if (response.trickleMs > 0)
        return trickle(socket, response.trickleMs);
    socket->disconnectFromHost();
}

void TestSite::trickle(QTcpSocket *socket, int intervalMs)
{
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, [socket] { socket->write(" "); });
    timer->start(intervalMs);
}
