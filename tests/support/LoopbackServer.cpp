#include "tests/support/LoopbackServer.h"

#include <QTimer>

#include <algorithm>

LoopbackServer::LoopbackServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &LoopbackServer::onConnection);
}

LoopbackServer::~LoopbackServer() {
    // The sockets are the server's children and report their end to this object, whose
    // members would otherwise be gone when they do.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        delete socket;
    }
}

bool LoopbackServer::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString LoopbackServer::base() const {
    return QStringLiteral("http://127.0.0.1:%1/").arg(port());
}

QUrl LoopbackServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void LoopbackServer::route(const QByteArray& target, const Response& response) {
    m_routes.insert(target, response);
}

void LoopbackServer::routeHtml(const QByteArray& target, const QByteArray& html) {
    Response r;
    r.body = html;
    route(target, r);
}

QList<QByteArray> LoopbackServer::targets() const {
    QList<QByteArray> out;
    for (const Request& r : requests)
        out.append(r.path);
    return out;
}

int LoopbackServer::count(const QByteArray& target) const {
    return static_cast<int>(std::count_if(requests.cbegin(), requests.cend(),
                                          [&](const Request& r) { return r.path == target; }));
}

const LoopbackServer::Request* LoopbackServer::last(const QByteArray& target) const {
    for (auto it = requests.crbegin(); it != requests.crend(); ++it)
        if (it->path == target)
            return &*it;
    return nullptr;
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
    for (;;) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        buffer.remove(0, end + 4);
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = first.value(0);
        request.path = first.value(1);
        qsizetype bodyLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            request.headers.insert(name, line.mid(colon + 1).trimmed());
            if (name == "content-length")
                bodyLength = line.mid(colon + 1).trimmed().toLongLong();
        }
        buffer.remove(0, std::min(bodyLength, buffer.size()));
        requests.append(request);

        auto it = m_routes.constFind(request.path);
        if (it == m_routes.constEnd())
            it = m_routes.constFind(request.path.left(request.path.indexOf('?')));
        Response response;
        if (it != m_routes.constEnd()) {
            response = *it;
        } else {
            response.status = 404;
            response.body =
                "<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1>"
                "<p>The requested URL was not found on this server.</p></body></html>";
        }
        if (response.hang)
            return; // the socket stays open, unanswered, until the engine gives up
        QPointer<QTcpSocket> guard(socket);
        if (response.delayMs > 0) {
            QTimer::singleShot(response.delayMs, this,
                               [this, guard, response] { send(guard, response); });
            return;
        }
        send(guard, response);
        return; // one request per connection: every answer closes it
    }
}

void LoopbackServer::send(const QPointer<QTcpSocket>& socket, const Response& response) {
    if (!socket)
        return;
    QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) +
                     (response.status == 200 ? " OK" : " Other") + "\r\n";
    out += "Content-Type: " + response.contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    if (response.noStore)
        out += "Cache-Control: no-store\r\n";
    for (const auto& [name, value] : response.headers)
        out += name + ": " + value + "\r\n";
    out += "Connection: close\r\n\r\n";
    out += response.body;
    socket->write(out);
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
