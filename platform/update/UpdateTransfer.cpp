#include "platform/update/UpdateTransfer.h"

#include "platform/update/UpdateConfiguration.h"
#include "platform/update/UpdateFailureText.h"

#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace lunorvale {
namespace {

class NoCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

} // namespace

QNetworkAccessManager* UpdateTransfer::makeManager(QObject* parent) {
    auto* manager = new QNetworkAccessManager(parent);
    manager->setCookieJar(new NoCookieJar(manager));
    manager->setCache(nullptr);
    manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    return manager;
}

UpdateTransfer::UpdateTransfer(QNetworkAccessManager& manager, Request request, Sink sink, Progress progress,
                               Completion completion, QObject* parent)
    : QObject(parent), m_manager(manager), m_request(std::move(request)), m_sink(std::move(sink)),
      m_progress(std::move(progress)), m_completion(std::move(completion)) {
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { fail(QStringLiteral("连接更新服务器超时。")); });
}

UpdateTransfer::~UpdateTransfer() {
    m_done = true;
    dropReply();
}

void UpdateTransfer::start() {
    m_deadline.start(m_request.deadline);
    get(m_request.url);
}

void UpdateTransfer::cancel() {
    m_done = true;
    m_deadline.stop();
    dropReply();
}

void UpdateTransfer::get(const QUrl& url) {
    if (!UpdateConfiguration::isAllowedAddress(url))
        return fail(QStringLiteral("更新地址不安全，已拒绝：只接受 https 地址。"), url.toDisplayString());
    m_current = url;
    m_received = 0;
    m_headChecked = false;
    // Plain http is only ever allowed to this machine, which is reached directly, never through a proxy.
    const bool loopback = url.scheme() == QLatin1String("http");
    m_manager.setProxy(loopback ? QNetworkProxy(QNetworkProxy::NoProxy) : QNetworkProxy::applicationProxy());

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // Lengths are checked against the bytes as sent, so nothing may arrive compressed.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setTransferTimeout(0); // the deadline is the only time limit

    m_reply = m_manager.get(request);
    m_reply->setReadBufferSize(64 * 1024);
    connect(m_reply, &QNetworkReply::metaDataChanged, this, [this] { checkHead(); });
    connect(m_reply, &QNetworkReply::readyRead, this, [this] {
        if (checkHead())
            consume();
    });
    connect(m_reply, &QNetworkReply::finished, this, [this] { onFinished(); });
}

// False once the transfer has ended or moved on to a redirect target.
bool UpdateTransfer::checkHead() {
    if (m_done || !m_reply)
        return false;
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (m_headChecked || !status.isValid())
        return true;
    m_headChecked = true;
    const int code = status.toInt();
    if (code >= 300 && code <= 399) {
        const QUrl target =
            m_current.resolved(QUrl(QString::fromUtf8(m_reply->rawHeader("Location")), QUrl::StrictMode));
        if (m_request.redirects == Redirects::refuse || target.scheme() != m_request.url.scheme() ||
            !target.isValid()) {
            fail(QStringLiteral("更新服务器把请求转到了另一个地址，已拒绝。"), target.toDisplayString());
            return false;
        }
        if (++m_redirects > maximumRedirects) {
            fail(QStringLiteral("更新服务器的转向次数过多。"));
            return false;
        }
        dropReply();
        get(target);
        return false;
    }
    if (code < 200 || code > 299) {
        fail(QStringLiteral("更新服务器返回了错误（HTTP %1）。").arg(code));
        return false;
    }
    const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid()) {
        const qint64 announced = length.toLongLong();
        if (announced > m_request.maximumBytes) {
            fail(QStringLiteral("更新内容超过允许的大小。"));
            return false;
        }
        if (m_request.exactBytes && announced != *m_request.exactBytes) {
            fail(QStringLiteral("下载的文件大小与更新信息不符。"));
            return false;
        }
    }
    return true;
}

void UpdateTransfer::consume() {
    while (!m_done && m_reply && m_reply->bytesAvailable() > 0) {
        const QByteArray piece = m_reply->read(64 * 1024);
        m_received += piece.size();
        if (m_received > m_request.maximumBytes)
            return fail(QStringLiteral("更新内容超过允许的大小。"));
        if (m_request.exactBytes && m_received > *m_request.exactBytes)
            return fail(QStringLiteral("下载的文件大小与更新信息不符。"));
        if (!m_sink(piece))
            return fail(QStringLiteral("无法保存下载的更新。"));
        if (m_progress)
            m_progress(m_received);
    }
}

void UpdateTransfer::onFinished() {
    if (!checkHead())
        return;
    consume();
    if (m_done)
        return;
    if (m_reply->error() != QNetworkReply::NoError)
        return fail(QStringLiteral("无法连接更新服务器。"), UpdateFailureText::network(m_reply->error()));
    if (m_request.exactBytes && m_received != *m_request.exactBytes)
        return fail(QStringLiteral("下载的文件大小与更新信息不符。"));
    finish(std::nullopt);
}

void UpdateTransfer::fail(QString description, QString reason) {
    finish(UpdateError::make(m_request.errorCode, std::move(description), std::move(reason),
                             QStringLiteral("请稍后重试，或从官网下载新版。")));
}

void UpdateTransfer::finish(std::optional<UpdateError> error) {
    if (m_done)
        return;
    m_done = true;
    m_deadline.stop();
    dropReply();
    if (const Completion completion = std::move(m_completion))
        completion(std::move(error));
}

void UpdateTransfer::dropReply() {
    if (!m_reply)
        return;
    m_reply->disconnect(this);
    m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}

} // namespace lunorvale
