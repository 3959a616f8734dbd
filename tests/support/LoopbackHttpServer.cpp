#include "support/LoopbackHttpServer.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace lunorvale::test {

// Per-connection handling, on the server's thread.
class LoopbackHttpServerWorker final {
public:
    static void serve(LoopbackHttpServer* owner, QTcpSocket* socket) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [owner, socket, buffer] {
            buffer->append(socket->readAll());
            const qsizetype headEnd = buffer->indexOf("\r\n\r\n");
            if (headEnd < 0)
                return;
            LoopbackHttpServer::Request request;
            const QList<QByteArray> lines = buffer->left(headEnd).split('\n');
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.target = requestLine.value(1);
            qint64 length = 0;
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon <= 0)
                    continue;
                const QByteArray name = lines[i].left(colon).trimmed().toLower();
                const QByteArray value = lines[i].mid(colon + 1).trimmed();
                request.headers.insert(name, value);
                if (name == "content-length")
                    length = value.toLongLong();
            }
            if (buffer->size() < headEnd + 4 + length)
                return;
            request.body = buffer->mid(headEnd + 4, length);
            buffer->remove(0, headEnd + 4 + length);
            owner->record(request);
            respond(socket, owner->nextReply());
        });
    }

private:
    static void respond(QTcpSocket* socket, const LoopbackHttpServer::Reply& reply) {
        if (reply.stall)
            return;
        QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + " Scripted\r\n";
        for (const auto& [name, value] : reply.headers)
            head += name + ": " + value + "\r\n";
        if (reply.streamed) {
            head += "Connection: close\r\n\r\n";
            socket->write(head);
            streamPieces(socket, reply.body, 0);
            return;
        }
        const qint64 length = reply.announcedLength.value_or(reply.body.size());
        head += "Content-Length: " + QByteArray::number(length) + "\r\n\r\n";
        socket->write(head + reply.body);
    }

    static void streamPieces(QTcpSocket* socket, QByteArray body, qsizetype from) {
        constexpr qsizetype piece = 16 * 1024;
        if (from >= body.size()) {
            socket->disconnectFromHost();
            return;
        }
        socket->write(body.mid(from, piece));
        QTimer::singleShot(1, socket, [socket, body, from] { streamPieces(socket, body, from + piece); });
    }
};

LoopbackHttpServer::LoopbackHttpServer() {
    m_context.moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        &m_context,
        [this] {
            m_server = new QTcpServer();
            m_server->listen(QHostAddress(QHostAddress::LocalHost), 0);
            m_port = m_server->serverPort();
            QObject::connect(m_server, &QTcpServer::newConnection, m_server, [this] {
                while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                    countConnection();
                    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                    LoopbackHttpServerWorker::serve(this, socket);
                }
            });
        },
        Qt::BlockingQueuedConnection);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    QMetaObject::invokeMethod(
        &m_context, [this] { delete m_server; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QString LoopbackHttpServer::baseURL(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(m_port) + path;
}

void LoopbackHttpServer::enqueue(Reply reply) {
    const QMutexLocker lock(&m_mutex);
    m_queue.append(std::move(reply));
}

void LoopbackHttpServer::setDefaultReply(Reply reply) {
    const QMutexLocker lock(&m_mutex);
    m_default = std::move(reply);
}

QList<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const {
    const QMutexLocker lock(&m_mutex);
    return m_requests;
}

int LoopbackHttpServer::connectionCount() const {
    const QMutexLocker lock(&m_mutex);
    return m_connections;
}

LoopbackHttpServer::Reply LoopbackHttpServer::nextReply() {
    const QMutexLocker lock(&m_mutex);
    return m_queue.isEmpty() ? m_default : m_queue.takeFirst();
}

void LoopbackHttpServer::record(Request request) {
    const QMutexLocker lock(&m_mutex);
    m_requests.append(std::move(request));
}

void LoopbackHttpServer::countConnection() {
    const QMutexLocker lock(&m_mutex);
    ++m_connections;
}

LoopbackHttpServer::Reply LoopbackHttpServer::chatReply(const QString& content) {
    const QJsonObject message{{QStringLiteral("role"), QStringLiteral("assistant")},
                              {QStringLiteral("content"), content}};
    const QJsonObject body{
        {QStringLiteral("choices"), QJsonArray{QJsonObject{{QStringLiteral("message"), message}}}}};
    return jsonReply(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

LoopbackHttpServer::Reply LoopbackHttpServer::jsonReply(int status, const QByteArray& json) {
    Reply reply;
    reply.status = status;
    reply.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("application/json")));
    reply.body = json;
    return reply;
}

} // namespace lunorvale::test
