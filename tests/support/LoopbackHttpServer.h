#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QThread>
#include <optional>

class QTcpServer;

namespace lunorvale::test {

// A small HTTP/1.1 server on 127.0.0.1 (port chosen by the system) for tests of network code. It runs on a
// thread of its own, so a test may block (QProcess::waitForFinished, a client's own event loop) while it
// answers. Replies are scripted: each request takes the next queued reply, or the default one.
class LoopbackHttpServer final {
public:
    struct Request {
        QByteArray method;
        QByteArray target;                    // path and query as sent
        QMap<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    struct Reply {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        // Announces this Content-Length instead of the body's size (and sends the body, then waits).
        std::optional<qint64> announcedLength;
        // Sends no Content-Length and streams the body in pieces, then closes the connection.
        bool streamed = false;
        // Reads the request and never answers.
        bool stall = false;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:PORT" followed by `path`.
    QString baseURL(const QString& path = QStringLiteral("/v1")) const;

    void enqueue(Reply reply);
    void setDefaultReply(Reply reply);

    QList<Request> requests() const;
    int connectionCount() const;

    // A 200 reply carrying one chat-completions choice with `content`.
    static Reply chatReply(const QString& content);
    static Reply jsonReply(int status, const QByteArray& json);

private:
    friend class LoopbackHttpServerWorker;
    Reply nextReply();
    void record(Request request);
    void countConnection();

    QThread m_thread;
    QObject m_context;              // lives on m_thread; queued calls to the server go through it
    QTcpServer* m_server = nullptr; // lives on m_thread
    quint16 m_port = 0;
    mutable QMutex m_mutex;
    QList<Reply> m_queue;
    Reply m_default;
    QList<Request> m_requests;
    int m_connections = 0;
};

} // namespace lunorvale::test
