#pragma once

#include "app/ports/AIRequests.h"
#include "core/ai/AIAnalysisPurpose.h"
#include "core/ai/AIChatExchange.h"
#include "core/ai/AIConfiguration.h"

#include <QString>
#include <chrono>
#include <stop_token>

namespace lunorvale {

// Sends one question to an OpenAI-compatible chat-completions service and returns the answer text. Every
// call has its own network access manager: redirects are never followed (a 3xx ends the request, so the
// key never reaches another host), no cookies, credentials or cache are kept, the whole exchange has one
// deadline, and at most 131,072 bytes of a reply are read.
class AIClient final {
public:
    static constexpr std::chrono::milliseconds defaultDeadline{AIChatExchange::requestTimeoutSeconds * 1000};

    explicit AIClient(std::chrono::milliseconds deadline = defaultDeadline) : m_deadline(deadline) {}

    using Completion = AICompletion;

    // Starts the request on the calling thread, which must run a Qt event loop; returns at once.
    // `completion` runs exactly once on that thread, never before analyze returns; input errors
    // (address, model, key, summary) arrive there too, without any connection being opened.
    AIRequestHandle analyze(const QString& summary, const AIConfiguration& configuration,
                            const QString& apiKey, AIAnalysisPurpose purpose, Completion completion) const;

    // The same request on an event loop of its own: blocks the calling thread until the answer. Meant for
    // worker threads (QtConcurrent) and the command line, never for the interface thread. Throws
    // AIServiceError, or AIRequestCancelled once `stop` is requested.
    QString analyzeAndWait(const QString& summary, const AIConfiguration& configuration,
                           const QString& apiKey, AIAnalysisPurpose purpose, std::stop_token stop = {}) const;

    // `analyze` as the request function the models are given.
    AIRequest request() const;

    static AIChatRequest makeRequest(const QString& summary, const AIConfiguration& configuration,
                                     const QString& apiKey, AIAnalysisPurpose purpose) {
        return AIChatExchange::makeRequest(summary, configuration, apiKey, purpose);
    }
    static QString decode(const QByteArray& data, int statusCode) {
        return AIChatExchange::decode(data, statusCode);
    }

private:
    std::chrono::milliseconds m_deadline;
};

} // namespace lunorvale
