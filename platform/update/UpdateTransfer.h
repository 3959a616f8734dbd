#pragma once

#include "app/ports/UpdateTypes.h"
#include "platform/network/BoundedReply.h"

#include <QByteArrayView>
#include <QObject>
#include <chrono>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace lunorvale {

// One GET of the update layer: an address the configuration allows (https, or http to a loopback
// address), redirects followed by hand and only within the same scheme (or not at all), no cookies,
// no cache, a byte cap checked against the announced length and against every byte read, an exact
// length when one is expected, and one deadline for the whole exchange, redirects included.
class UpdateTransfer final : public QObject {
public:
    enum class Redirects { refuse, sameScheme };
    static constexpr int maximumRedirects = 5;

    struct Request {
        QUrl url;
        qint64 maximumBytes = 0;
        std::optional<qint64> exactBytes;
        std::chrono::milliseconds deadline{0};
        Redirects redirects = Redirects::refuse;
        int errorCode = UpdateError::downloadFailed; // the code of every failure reported
    };

    // Takes each piece of the body; false stops the transfer (the sink could not keep it).
    using Sink = std::function<bool(QByteArrayView piece)>;
    using Progress = std::function<void(qint64 received)>;
    // Runs once, on the thread that started the transfer, unless the transfer was cancelled.
    using Completion = std::function<void(std::optional<UpdateError> error)>;

    UpdateTransfer(QNetworkAccessManager& manager, Request request, Sink sink, Progress progress,
                   Completion completion, QObject* parent = nullptr);

    void start();
    // Stops the transfer; the completion is not called.
    void cancel();

    // A network access manager that keeps no cookies or cache and never reaches loopback through a proxy.
    static QNetworkAccessManager* makeManager(QObject* parent);

private:
    void get(const QUrl& url);
    bool onHead(const QNetworkReply& reply);
    bool onPiece(QByteArrayView piece);
    void onFinished(const QNetworkReply& reply);
    void onBreach(BoundedReply::Breach breach);
    void fail(QString description, QString reason = {});
    void finish(std::optional<UpdateError> error);

    QNetworkAccessManager& m_manager;
    Request m_request;
    Sink m_sink;
    Progress m_progress;
    Completion m_completion;
    BoundedReply m_body;
    QUrl m_current;
    int m_redirects = 0;
    bool m_done = false;
};

} // namespace lunorvale
