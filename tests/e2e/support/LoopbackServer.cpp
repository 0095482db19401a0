#include "LoopbackServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

bool LoopbackServer::listen() {
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::onConnection);
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LoopbackServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(port());
}

void LoopbackServer::answer(const QByteArray& target, const Answer& a) {
    m_answers.insert(target, a);
}

void LoopbackServer::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
    }
}

void LoopbackServer::onReadable(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
    buffer.clear();
    const QByteArray target = requestLine.value(1);
    targets.append(target);
    Answer a;
    if (auto it = m_answers.constFind(target); it != m_answers.constEnd()) {
        a = *it;
    } else {
        a.status = 404;
        a.contentType = "text/html";
        a.body = "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
                 "<p>The requested URL was not found on this server.</p></body></html>";
    }
    QPointer<QTcpSocket> guard(socket);
    if (a.delayMs > 0)
        QTimer::singleShot(a.delayMs, this, [this, guard, a] { send(guard, a); });
    else
        send(guard, a);
}

void LoopbackServer::send(QPointer<QTcpSocket> socket, const Answer& a) {
    if (!socket)
        return;
    QByteArray head = "HTTP/1.0 " + QByteArray::number(a.status) +
                      " X\r\nContent-Type: " + a.contentType +
                      "\r\nContent-Length: " + QByteArray::number(a.body.size()) +
                      "\r\nConnection: close\r\nCache-Control: no-store\r\n";
    for (const auto& [name, value] : a.headers)
        head += name + ": " + value + "\r\n";
    socket->write(head + "\r\n" + a.body);
    socket->disconnectFromHost();
    ++answered;
}

quint16 closedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

bool waitUntil(const std::function<bool()>& pred, int ms) {
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}
