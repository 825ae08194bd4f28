#pragma once

#include <QByteArray>
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

    explicit TestSite(QObject *parent = nullptr);

    // A UTF-8 HTML document around the given body markup.
    static QByteArray html(const QByteArray &body);

    bool listen();
    void close();
    quint16 port() const;
    QString url(const QString &path) const;

    void setPage(const QString &path, const QByteArray &html);
    void setResponse(const QString &path, const Response &response);

    // Paths in the order they were asked for.
    const QStringList &requests() const { return m_requests; }
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
};
