#pragma once

// A small HTTP server on 127.0.0.1 for engine tests: fixed answers by request target,
// every request recorded with its headers, answers that come late or never.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

class LoopbackServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool noStore = false; // "Cache-Control: no-store": the engine asks again every time
        int delayMs = 0;      // real time before the answer goes out
        bool hang = false;    // accept the request and never answer
    };
    struct Request {
        QByteArray method;
        QByteArray path;                       // the request target: path and query
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    explicit LoopbackServer(QObject* parent = nullptr);
    ~LoopbackServer() override;
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>/"
    QString base() const;
    // http://127.0.0.1:<port> + path
    QUrl url(const QString& path) const;

    // The answer for a request target as the engine sends it (percent-encoded); a target
    // without a route of its own falls back to its path without the query, anything else
    // gets a 404 page.
    void route(const QByteArray& target, const Response& response);
    void routeHtml(const QByteArray& target, const QByteArray& html);

    QList<Request> requests; // in arrival order
    int answered = 0;        // answers sent so far
    QList<QByteArray> targets() const;
    int count(const QByteArray& target) const;
    const Request* last(const QByteArray& target) const;

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    void send(const QPointer<QTcpSocket>& socket, const Response& response);

    QHash<QByteArray, Response> m_routes;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QTcpServer m_server;
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();
