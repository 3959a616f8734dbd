#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace lunorvale {

// Every failure of the AI service access, each with one fixed sentence for the user.
class AIServiceError final : public std::exception {
public:
    enum class Kind {
        rejected,
        keychain,
        invalidEndpoint,
        missingModel,
        missingAPIKey,
        invalidSummary,
        unauthorized,
        rateLimited,
        serverUnavailable,
        modelUnavailable,
        redirected,
        responseTooLarge,
        invalidResponse,
        timedOut,
        networkUnavailable,
        keychainAuthorizationRequired,
        keychainAuthorizationCancelled,
    };

    explicit AIServiceError(Kind kind);
    static AIServiceError rejected(int httpStatus);
    static AIServiceError keychain(qint32 keychainStatus);

    Kind kind() const { return m_kind; }
    // The HTTP status of `rejected`, the keychain status of `keychain`; 0 otherwise.
    int payload() const { return m_payload; }
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

    friend bool operator==(const AIServiceError& a, const AIServiceError& b) {
        return a.m_kind == b.m_kind && a.m_payload == b.m_payload;
    }

private:
    AIServiceError(Kind kind, int payload);

    Kind m_kind;
    int m_payload = 0;
    QByteArray m_utf8;
};

} // namespace lunorvale
