#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A small HTTP/1.1 server on 127.0.0.1 for engine tests: fixed answers by path, every
// request recorded with its headers, and answers that never come.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    struct Response {
        int status = 200;
        QByteArray contentType = "text/html; charset=utf-8";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        bool hang = false; // accept the request and never answer
    };
    struct Request {
        QByteArray method;
        QByteArray path;                       // with the query
        QHash<QByteArray, QByteArray> headers; // names in lower case
    };

    explicit TestHttpServer(QObject* parent = nullptr);
    ~TestHttpServer() override;
    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    // http://127.0.0.1:port + path
    QUrl url(const QString& path) const;

    void route(const QByteArray& path, const Response& response);
    void routeHtml(const QByteArray& path, const QByteArray& html);

    QList<Request> requests;
    int count(const QByteArray& path) const;
    const Request* last(const QByteArray& path) const;

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QByteArray, Response> m_routes;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QList<QPointer<QTcpSocket>> m_hanging;
};

// Processes events until pred holds or ms pass; answers pred's last value.
bool waitFor(const std::function<bool()>& pred, int ms = 15000);
// Processes events for ms.
void pump(int ms);
