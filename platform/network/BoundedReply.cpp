#include "platform/network/BoundedReply.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace lunorvale {

BoundedReply::BoundedReply(Limits limits, Handlers handlers)
    : m_limits(std::move(limits)), m_handlers(std::move(handlers)) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { breach(Breach::timedOut); });
}

BoundedReply::~BoundedReply() {
    drop(true);
}

void BoundedReply::read(QNetworkReply* reply) {
    drop(true);
    m_reply = reply;
    m_received = 0;
    m_headChecked = false;
    if (!m_deadlineArmed) {
        m_deadlineArmed = true;
        m_deadline.start(m_limits.deadline);
    }
    // Bounds what Qt buffers ahead of us.
    reply->setReadBufferSize(pieceBytes);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] { checkHead(); });
    connect(reply, &QNetworkReply::readyRead, this, [this] {
        if (checkHead())
            consume();
    });
    connect(reply, &QNetworkReply::finished, this, [this] { onFinished(); });
}

void BoundedReply::stop() {
    m_deadline.stop();
    drop(true);
}

// False once this reply is no longer read.
bool BoundedReply::checkHead() {
    QNetworkReply* const reply = m_reply;
    if (!reply)
        return false;
    if (m_headChecked || !reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return true;
    m_headChecked = true;
    if (m_handlers.head && !m_handlers.head(*reply)) {
        if (m_reply == reply)
            stop();
        return false;
    }
    if (m_reply != reply)
        return false;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid()) {
        const qint64 announced = length.toLongLong();
        if (announced > m_limits.maximumBytes) {
            breach(Breach::tooLarge);
            return false;
        }
        if (m_limits.exactBytes && announced != *m_limits.exactBytes) {
            breach(Breach::wrongLength);
            return false;
        }
    }
    return true;
}

void BoundedReply::consume() {
    QNetworkReply* const reply = m_reply;
    while (reply && m_reply == reply && reply->bytesAvailable() > 0) {
        // One byte past the limit is enough to know it is broken.
        const QByteArray piece = reply->read(qMin(pieceBytes, m_limits.maximumBytes + 1 - m_received));
        m_received += piece.size();
        if (m_received > m_limits.maximumBytes)
            return breach(Breach::tooLarge);
        if (m_limits.exactBytes && m_received > *m_limits.exactBytes)
            return breach(Breach::wrongLength);
        if (m_handlers.piece && !m_handlers.piece(piece)) {
            if (m_reply == reply)
                stop();
            return;
        }
    }
}

void BoundedReply::onFinished() {
    if (!checkHead())
        return;
    consume();
    QNetworkReply* const reply = m_reply;
    if (!reply)
        return;
    // A transfer that broke off is the caller's to report, whatever it left short.
    if (reply->error() == QNetworkReply::NoError && m_limits.exactBytes && m_received != *m_limits.exactBytes)
        return breach(Breach::wrongLength);
    m_deadline.stop();
    drop(false);
    if (m_handlers.finished)
        m_handlers.finished(*reply);
}

void BoundedReply::breach(Breach breach) {
    stop();
    if (m_handlers.breached)
        m_handlers.breached(breach);
}

void BoundedReply::drop(bool abort) {
    QNetworkReply* const reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    reply->disconnect(this);
    if (abort)
        reply->abort();
    reply->deleteLater();
}

} // namespace lunorvale
