#pragma once

// A small HTTP/1.0 server on 127.0.0.1 standing in for the update server: one answer
// per request target, optionally late, every request target recorded as received.
#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

class LoopbackServer : public QObject {
    Q_OBJECT
public:
    struct Answer {
        int status = 200;
        QByteArray contentType = "text/plain; charset=utf-8";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        int delayMs = 0; // real time before the answer goes out
    };

    bool listen();
    quint16 port() const { return m_server.serverPort(); }
    // "http://127.0.0.1:<port>/"
    QString base() const;

    // Answers for a request target as the engine sends it (path and query, percent-encoded);
    // anything else gets a 404 page.
    void answer(const QByteArray& target, const Answer& a);

    QList<QByteArray> targets; // in arrival order
    int answered = 0;          // answers sent so far

private:
    void onConnection();
    void onReadable(QTcpSocket* socket);
    void send(QPointer<QTcpSocket> socket, const Answer& a);

    // The buffers outlive the server, whose sockets still report their end to them.
    QHash<QByteArray, Answer> m_answers;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QTcpServer m_server;
};

// A port on 127.0.0.1 where nothing listens.
quint16 closedPort();

// Processes events until pred holds or ms of real time pass; answers pred's last value.
bool waitUntil(const std::function<bool()>& pred, int ms = 20000);
