#include "platform/desktop/AIClient.h"

#include "core/ai/AIText.h"
#include "platform/network/BoundedReply.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <memory>

namespace lunorvale {

namespace {

using Kind = AIServiceError::Kind;

// Remembers nothing and offers nothing: no cookie ever travels with a request or survives it.
class NoCookieJar final : public QNetworkCookieJar {
public:
    using QNetworkCookieJar::QNetworkCookieJar;
    QList<QNetworkCookie> cookiesForUrl(const QUrl&) const override { return {}; }
    bool setCookiesFromUrl(const QList<QNetworkCookie>&, const QUrl&) override { return false; }
};

// HTTP statuses that Qt reports as errors although a complete response arrived. Qt files 407 under the
// proxy errors, but a service (or a proxy on its way) that answers 407 has answered like any other status.
bool isHttpStatusError(QNetworkReply::NetworkError error) {
    const int code = static_cast<int>(error);
    return (code >= 201 && code <= 299) || (code >= 401 && code <= 499) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           error == QNetworkReply::ProxyAuthenticationRequiredError;
}

// One request: owns its manager, its reply and its deadline. A self-deleting exchange removes itself after
// completing (through the event loop); otherwise its creator deletes it once the completion has run.
class Exchange final : public QObject {
public:
    Exchange(AIClient::Completion completion, std::chrono::milliseconds deadline, bool selfDeleting)
        : m_completion(std::move(completion)), m_selfDeleting(selfDeleting),
          m_body({AIChatExchange::replyCap, std::nullopt, deadline},
                 {[this](const QNetworkReply& reply) { return onHead(reply); },
                  [this](QByteArrayView piece) {
                      m_buffer.append(piece);
                      return true;
                  },
                  [this](const QNetworkReply& reply) { onFinished(reply); },
                  // No exact length is asked for: what breaks is the cap or the deadline.
                  [this](BoundedReply::Breach breach) {
                      fail(breach == BoundedReply::Breach::timedOut ? Kind::timedOut
                                                                    : Kind::responseTooLarge);
                  }}) {}

    void start(const QString& summary, const AIConfiguration& configuration, const QString& apiKey,
               AIAnalysisPurpose purpose) {
        AIChatRequest built;
        try {
            built = AIChatExchange::makeRequest(summary, configuration, apiKey, purpose);
        } catch (const AIServiceError& error) {
            // Delivered later so that the caller's handle exists before its completion runs.
            QMetaObject::invokeMethod(
                this,
                [this, error] {
                    finish({std::nullopt, error, false});
                },
                Qt::QueuedConnection);
            return;
        }
        m_manager = new QNetworkAccessManager(this);
        m_manager->setCookieJar(new NoCookieJar(m_manager));
        m_manager->setCache(nullptr);
        m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        // A service on this machine is reached directly, never through a proxy of the environment.
        if (AIText::isLoopbackHost(built.endpoint.host()))
            m_manager->setProxy(QNetworkProxy::NoProxy);

        QNetworkRequest request(built.endpoint);
        for (const auto& [name, value] : built.headers)
            request.setRawHeader(name, value);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setTransferTimeout(0); // the reader's deadline is the only time limit
        m_body.read(m_manager->post(request, built.body));
    }

    void cancel() { finish({std::nullopt, std::nullopt, true}); }

private:
    // A redirect ends the request: the key must not travel to another address.
    bool onHead(const QNetworkReply& reply) {
        const int code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (code >= 300 && code <= 399) {
            fail(Kind::redirected);
            return false;
        }
        return true;
    }

    void onFinished(const QNetworkReply& reply) {
        const QNetworkReply::NetworkError error = reply.error();
        const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (error == QNetworkReply::TimeoutError)
            return fail(Kind::timedOut);
        if (error != QNetworkReply::NoError && !(status.isValid() && isHttpStatusError(error)))
            return fail(Kind::networkUnavailable);
        if (!status.isValid())
            return fail(Kind::invalidResponse);
        try {
            const QString text = AIChatExchange::decode(m_buffer, status.toInt());
            finish({text, std::nullopt, false});
        } catch (const AIServiceError& decodeError) {
            finish({std::nullopt, decodeError, false});
        }
    }

    void fail(Kind kind) { finish({std::nullopt, AIServiceError(kind), false}); }

    void finish(AIAnalysisOutcome outcome) {
        if (m_done)
            return;
        m_done = true;
        m_body.stop();
        const AIClient::Completion completion = std::move(m_completion);
        if (m_selfDeleting)
            deleteLater();
        if (completion)
            completion(outcome);
    }

    AIClient::Completion m_completion;
    bool m_selfDeleting;
    QNetworkAccessManager* m_manager = nullptr;
    QByteArray m_buffer;
    BoundedReply m_body;
    bool m_done = false;
};

} // namespace

AIRequestHandle AIClient::analyze(const QString& summary, const AIConfiguration& configuration,
                                  const QString& apiKey, AIAnalysisPurpose purpose,
                                  Completion completion) const {
    auto* exchange = new Exchange(std::move(completion), m_deadline, true);
    exchange->start(summary, configuration, apiKey, purpose);
    return AIRequestHandle(exchange, [exchange] { exchange->cancel(); });
}

AIRequest AIClient::request() const {
    return [client = *this](const QString& summary, const AIConfiguration& configuration,
                            const QString& apiKey, AIAnalysisPurpose purpose, AICompletion completion) {
        return client.analyze(summary, configuration, apiKey, purpose, std::move(completion));
    };
}

QString AIClient::analyzeAndWait(const QString& summary, const AIConfiguration& configuration,
                                 const QString& apiKey, AIAnalysisPurpose purpose,
                                 std::stop_token stop) const {
    if (stop.stop_requested())
        throw AIRequestCancelled();
    QEventLoop loop;
    AIAnalysisOutcome result;
    bool finished = false;
    // Owned here rather than left to deleteLater: a worker thread may have no outer event loop that would
    // ever delete it.
    const auto exchange = std::make_unique<Exchange>(
        [&](const AIAnalysisOutcome& outcome) {
            result = outcome;
            finished = true;
            loop.quit();
        },
        m_deadline, false);
    exchange->start(summary, configuration, apiKey, purpose);
    {
        // Runs on the stopping thread: hand the cancellation to this thread's loop.
        const std::stop_callback onStop(stop, [&loop, target = exchange.get()] {
            QMetaObject::invokeMethod(
                &loop, [target] { target->cancel(); }, Qt::QueuedConnection);
        });
        if (!finished)
            loop.exec();
    }
    // A cancellation queued just before the loop ended must not run later against a dead exchange.
    QCoreApplication::removePostedEvents(&loop);
    if (result.cancelled)
        throw AIRequestCancelled();
    if (result.error)
        throw *result.error;
    return result.text.value_or(QString());
}

} // namespace lunorvale
