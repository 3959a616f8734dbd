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
      m_progress(std::move(progress)), m_completion(std::move(completion)),
      m_body({m_request.maximumBytes, m_request.exactBytes, m_request.deadline},
             {[this](const QNetworkReply& reply) { return onHead(reply); },
              [this](QByteArrayView piece) { return onPiece(piece); },
              [this](const QNetworkReply& reply) { onFinished(reply); },
              [this](BoundedReply::Breach breach) {
                  onBreach(breach);
              }}) {}

void UpdateTransfer::start() {
    get(m_request.url);
}

void UpdateTransfer::cancel() {
    m_done = true;
    m_body.stop();
}

void UpdateTransfer::get(const QUrl& url) {
    if (!UpdateConfiguration::isAllowedAddress(url))
        return fail(QStringLiteral("更新地址不安全，已拒绝：只接受 https 地址。"), url.toDisplayString());
    m_current = url;
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
    m_body.read(m_manager.get(request));
}

// Follows a redirect that the request allows and refuses any other status than success.
bool UpdateTransfer::onHead(const QNetworkReply& reply) {
    const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (code >= 300 && code <= 399) {
        const QUrl target =
            m_current.resolved(QUrl(QString::fromUtf8(reply.rawHeader("Location")), QUrl::StrictMode));
        if (m_request.redirects == Redirects::refuse || target.scheme() != m_request.url.scheme() ||
            !target.isValid()) {
            fail(QStringLiteral("更新服务器把请求转到了另一个地址，已拒绝。"), target.toDisplayString());
            return false;
        }
        if (++m_redirects > maximumRedirects) {
            fail(QStringLiteral("更新服务器的转向次数过多。"));
            return false;
        }
        get(target);
        return false;
    }
    if (code < 200 || code > 299) {
        fail(QStringLiteral("更新服务器返回了错误（HTTP %1）。").arg(code));
        return false;
    }
    return true;
}

bool UpdateTransfer::onPiece(QByteArrayView piece) {
    if (!m_sink(piece)) {
        fail(QStringLiteral("无法保存下载的更新。"));
        return false;
    }
    if (m_progress)
        m_progress(m_body.received());
    return true;
}

void UpdateTransfer::onFinished(const QNetworkReply& reply) {
    if (reply.error() != QNetworkReply::NoError)
        return fail(QStringLiteral("无法连接更新服务器。"), UpdateFailureText::network(reply.error()));
    finish(std::nullopt);
}

void UpdateTransfer::onBreach(BoundedReply::Breach breach) {
    switch (breach) {
    case BoundedReply::Breach::tooLarge:
        return fail(QStringLiteral("更新内容超过允许的大小。"));
    case BoundedReply::Breach::wrongLength:
        return fail(QStringLiteral("下载的文件大小与更新信息不符。"));
    case BoundedReply::Breach::timedOut:
        return fail(QStringLiteral("连接更新服务器超时。"));
    }
}

void UpdateTransfer::fail(QString description, QString reason) {
    finish(UpdateError::make(m_request.errorCode, std::move(description), std::move(reason),
                             QStringLiteral("请稍后重试，或从官网下载新版。")));
}

void UpdateTransfer::finish(std::optional<UpdateError> error) {
    if (m_done)
        return;
    m_done = true;
    m_body.stop();
    if (const Completion completion = std::move(m_completion))
        completion(std::move(error));
}

} // namespace lunorvale
