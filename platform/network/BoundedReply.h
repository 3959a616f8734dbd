#pragma once

#include <QByteArrayView>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

class QNetworkReply;

namespace lunorvale {

// Reads the body of a network reply in pieces, within limits: at most `maximumBytes`, announced or
// received (no more than one byte past it is ever held); exactly `exactBytes` when that is given; all
// of it before a deadline that the first reply read arms and the replies read after it (redirects)
// share. What the status and headers mean is the caller's to say.
class BoundedReply final : public QObject {
public:
    enum class Breach { tooLarge, wrongLength, timedOut };

    struct Limits {
        qint64 maximumBytes = 0;
        std::optional<qint64> exactBytes;
        std::chrono::milliseconds deadline{0};
    };

    // A handler may stop the reading or read another reply, after which nothing more of this reply
    // is reported; it never destroys the reader itself (whose owner is deleted later, if at all).
    struct Handlers {
        // Once a reply's status has arrived, before its length is checked and any of its body read.
        // False: nothing more of this reply is read (the caller has ended the exchange or moved on).
        std::function<bool(const QNetworkReply& reply)> head;
        // Each piece of the body in order, within the limits. False: nothing more is read.
        std::function<bool(QByteArrayView piece)> piece;
        // The reply ended within the limits; its error() says whether the body is whole (a body of an
        // exact length that broke off short is reported here, with the reply's error).
        std::function<void(const QNetworkReply& reply)> finished;
        // A limit was broken; the reply has been abandoned.
        std::function<void(Breach breach)> breached;
    };

    BoundedReply(Limits limits, Handlers handlers);
    ~BoundedReply() override;

    // Reads `reply` in place of the reply being read, which is abandoned. Takes the reply over: it
    // is aborted when abandoned and deleted later either way.
    void read(QNetworkReply* reply);
    // Abandons the reply being read and the deadline; nothing more is reported.
    void stop();
    // Bytes of the current reply's body passed on so far, the piece being handled included.
    qint64 received() const { return m_received; }

private:
    static constexpr qint64 pieceBytes = 64 * 1024;

    bool checkHead();
    void consume();
    void onFinished();
    void breach(Breach breach);
    void drop(bool abort);

    Limits m_limits;
    Handlers m_handlers;
    QPointer<QNetworkReply> m_reply;
    QTimer m_deadline;
    bool m_deadlineArmed = false;
    bool m_headChecked = false;
    qint64 m_received = 0;
};

} // namespace lunorvale
