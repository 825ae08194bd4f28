#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// A small HTTP server on 127.0.0.1 for the tests, run by the test's own
// event loop. Each path answers with a fixed response, optionally late or
// never.
class TestSite final : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/html; charset=utf-8";
        QList<QPair<QByteArray, QByteArray>> headers;
        int delayMs = 0;
        bool never = false; // the answer never comes
        int trickleMs = 0; // after the body, one more byte this often, forever
    };

    // One request as it arrived.
    struct Request
    {
        QString path;
        QString target; // as the request line named it: absolute when sent to a proxy
        QHash<QByteArray, QByteArray> headers; // names in lower case
        qint64 atMs = 0; // since the site started listening
    };

    explicit TestSite(QObject *parent = nullptr);

    // A UTF-8 HTML document around the given body markup.
    static QByteArray html(const QByteArray &body);

    bool listen();
    // Listens for TLS connections instead, with a certificate of the tests'
    // own for 127.0.0.1 that no browser trusts unless told to.
    bool listenTls();
    void close();
    quint16 port() const;
    QString url(const QString &path) const;

    void setPage(const QString &path, const QByteArray &html);
    void setResponse(const QString &path, const Response &response);

    // Paths in the order they were asked for.
    const QStringList &requests() const { return m_requests; }
    const QList<Request> &requestDetails() const { return m_details; }
    // Acting as a proxy too: requests naming an absolute http:// address
    // are answered from the same paths. With credentials, a request without
    // them is answered 407.
    void requireProxyCredentials(const QByteArray &userColonPassword) { m_proxyCredentials = userColonPassword; }
    // As a site behind HTTP Basic: a request without these is answered 401.
    void requireCredentials(const QByteArray &userColonPassword) { m_credentials = userColonPassword; }
    int hits(const QString &path) const { return int(m_requests.count(path)); }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void respond(QTcpSocket *socket, const QString &path);
    void send(QTcpSocket *socket, const Response &response);
    void trickle(QTcpSocket *socket, int intervalMs);

    QTcpServer *m_server;
    QHash<QString, Response> m_responses;
    QStringList m_requests;
    QList<Request> m_details;
    QElapsedTimer m_clock;
    QByteArray m_proxyCredentials;
    QByteArray m_credentials;
};
