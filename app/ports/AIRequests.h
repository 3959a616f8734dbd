#pragma once

#include "core/ai/AIAnalysisPurpose.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServiceError.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace lunorvale {

// Thrown by a blocking request when the caller stopped it.
class AIRequestCancelled final : public std::exception {
public:
    const char* what() const noexcept override { return "AI request cancelled"; }
};

// The outcome of one request: the answer text, an AIServiceError, or a cancellation.
struct AIAnalysisOutcome {
    std::optional<QString> text;
    std::optional<AIServiceError> error;
    bool cancelled = false;
};

// A running request. Use it on the thread that started the request.
class AIRequestHandle final {
public:
    AIRequestHandle() = default;
    // `exchange` lives while the request runs; `cancel` ends it.
    AIRequestHandle(QObject* exchange, std::function<void()> cancel)
        : m_exchange(exchange), m_cancel(std::move(cancel)) {}
    // Ends the request; its completion then runs with `cancelled`. Nothing happens once it has finished.
    void cancel() {
        if (!m_exchange.isNull() && m_cancel)
            m_cancel();
    }
    bool isRunning() const { return !m_exchange.isNull(); }

private:
    QPointer<QObject> m_exchange;
    std::function<void()> m_cancel;
};

using AICompletion = std::function<void(const AIAnalysisOutcome&)>;

// Starts one request to an AI service; the completion runs exactly once, later, on the calling thread.
using AIRequest =
    std::function<AIRequestHandle(const QString& summary, const AIConfiguration& configuration,
                                  const QString& apiKey, AIAnalysisPurpose purpose, AICompletion completion)>;

namespace AIRequests {

// A service that is never reached: every request fails as it would without a network, later, on the
// thread of `context` (and not at all once `context` is gone).
inline AIRequest unreachable(QObject* context) {
    return [context = QPointer<QObject>(context)](const QString&, const AIConfiguration&, const QString&,
                                                  AIAnalysisPurpose, AICompletion completion) {
        if (context) {
            QMetaObject::invokeMethod(
                context.data(),
                [completion = std::move(completion)] {
                    completion(
                        {std::nullopt, AIServiceError(AIServiceError::Kind::networkUnavailable), false});
                },
                Qt::QueuedConnection);
        }
        return AIRequestHandle();
    };
}

} // namespace AIRequests

} // namespace lunorvale
