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
    // `reason` is the backend's phrase for why the store failed; it is shown, so it is cut to one short
    // line. The status tells the sentence: KeychainStore::Status::notAvailable (no keyring on the bus at
    // all) asks for a keyring to be installed, which is its whole reason; every other status asks for a
    // later retry, with the reason.
    static AIServiceError keychain(qint32 keychainStatus, const QString& reason = {});

    Kind kind() const { return m_kind; }
    // The HTTP status of `rejected`, the keychain status of `keychain`; 0 otherwise.
    int payload() const { return m_payload; }
    // The backend's reason for a `keychain` failure; empty when it gave none.
    const QString& reason() const { return m_reason; }
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

    friend bool operator==(const AIServiceError& a, const AIServiceError& b) {
        return a.m_kind == b.m_kind && a.m_payload == b.m_payload && a.m_reason == b.m_reason;
    }

private:
    AIServiceError(Kind kind, int payload);

    Kind m_kind;
    int m_payload = 0;
    QString m_reason;
    QByteArray m_utf8;
};

} // namespace lunorvale
