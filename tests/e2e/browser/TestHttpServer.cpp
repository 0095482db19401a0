#include "TestHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

TestHttpServer::TestHttpServer(QObject* parent) : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onConnection);
}

TestHttpServer::~TestHttpServer() {
    // The sockets are the server's children and report their end to this object, whose
    // members go before the server does.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        delete socket;
    }
}

bool TestHttpServer::listen() {
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QUrl TestHttpServer::url(const QString& path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path));
}

void TestHttpServer::route(const QByteArray& path, const Response& response) {
    m_routes.insert(path, response);
}

void TestHttpServer::routeHtml(const QByteArray& path, const QByteArray& html) {
    Response r;
    r.body = html;
    route(path, r);
}

int TestHttpServer::count(const QByteArray& path) const {
    int n = 0;
    for (const auto& r : requests)
        if (r.path == path)
            ++n;
    return n;
}

const TestHttpServer::Request* TestHttpServer::last(const QByteArray& path) const {
    for (auto it = requests.crbegin(); it != requests.crend(); ++it)
        if (it->path == path)
            return &*it;
    return nullptr;
}

void TestHttpServer::onConnection() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QObject::destroyed, this, [this, socket] { m_buffers.remove(socket); });
    }
}

void TestHttpServer::onReadable(QTcpSocket* socket) {
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
        Request req;
        req.method = first.value(0);
        req.path = first.value(1);
        qsizetype bodyLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0) {
                const QByteArray name = line.left(colon).trimmed().toLower();
                req.headers.insert(name, line.mid(colon + 1).trimmed());
                if (name == "content-length")
                    bodyLength = line.mid(colon + 1).trimmed().toLongLong();
            }
        }
        buffer.remove(0, std::min(bodyLength, buffer.size()));
        requests.append(req);

        QByteArray path = req.path;
        auto it = m_routes.constFind(path);
        if (it == m_routes.constEnd())
            it = m_routes.constFind(path.left(path.indexOf('?')));
        Response resp;
        if (it != m_routes.constEnd()) {
            resp = *it;
        } else {
            resp.status = 404;
            resp.body = "<html><body>not here</body></html>";
        }
        if (resp.hang) {
            m_hanging.append(socket);
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(resp.status) +
                         (resp.status == 200 ? " OK" : " Other") + "\r\n";
        out += "Content-Type: " + resp.contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(resp.body.size()) + "\r\n";
        for (const auto& h : resp.headers)
            out += h.first + ": " + h.second + "\r\n";
        out += "Connection: close\r\n\r\n";
        out += resp.body;
        socket->write(out);
        socket->disconnectFromHost();
        return;
    }
}

bool waitFor(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > ms)
            return pred();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void pump(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
}
