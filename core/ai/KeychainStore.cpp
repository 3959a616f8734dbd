#include "core/ai/KeychainStore.h"

#include "core/ai/AIChatExchange.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/AIText.h"

namespace lunorvale {

namespace KeychainStore {

QString account(const QString& baseURL) {
    return AIConfiguration{baseURL, QString()}.validatedBaseURLText();
}

bool isAuthorizationStatus(qint32 status) {
    return status == Status::interactionNotAllowed || status == Status::authenticationFailed ||
           status == Status::userCancelled || status == Status::interactionRequired;
}

AIServiceError error(qint32 status, const QString& reason) {
    if (status == Status::userCancelled)
        return AIServiceError(AIServiceError::Kind::keychainAuthorizationCancelled);
    if (isAuthorizationStatus(status))
        return AIServiceError(AIServiceError::Kind::keychainAuthorizationRequired);
    return AIServiceError::keychain(status, reason);
}

} // namespace KeychainStore

namespace {

using Kind = AIServiceError::Kind;
namespace Status = KeychainStore::Status;

std::optional<QString> accountOrNothing(const QString& baseURL) {
    try {
        return KeychainStore::account(baseURL);
    } catch (const AIServiceError&) {
        return std::nullopt;
    }
}

// What a failing secret store means for a key: without any store, waiting will not bring it back.
AIKeyStatus failureStatus(qint32 status) {
    return status == Status::notAvailable ? AIKeyStatus::noKeyring : AIKeyStatus::unavailable;
}

bool isUsableKey(const QString& key) {
    return !key.isEmpty() && AIText::utf8Length(key) <= AIChatExchange::maximumKeyBytes &&
           !AIText::containsControlCharacter(key);
}

} // namespace

std::mutex CachedKeychainStore::s_accessLock;

CachedKeychainStore::CachedKeychainStore(std::shared_ptr<KeychainBackend> backend)
    : m_backend(std::move(backend)) {}

std::optional<AIKeyStatus> CachedKeychainStore::cachedStatus(const QString& account) const {
    if (const auto found = m_credentials.constFind(account); found != m_credentials.constEnd()) {
        if (const auto* key = std::get_if<std::optional<QString>>(&*found))
            return key->has_value() ? AIKeyStatus::available : AIKeyStatus::missing;
        const AIServiceError& failure = std::get<AIServiceError>(*found);
        if (failure.kind() == Kind::keychainAuthorizationRequired ||
            failure.kind() == Kind::keychainAuthorizationCancelled)
            return AIKeyStatus::authorizationRequired;
        return failure.kind() == Kind::keychain ? failureStatus(failure.payload()) : AIKeyStatus::unavailable;
    }
    if (const auto found = m_presence.constFind(account); found != m_presence.constEnd())
        return *found ? AIKeyStatus::saved : AIKeyStatus::missing;
    if (const auto found = m_presenceFailures.constFind(account); found != m_presenceFailures.constEnd())
        return failureStatus(*found);
    return std::nullopt;
}

void CachedKeychainStore::remember(const QString& account, Credential credential) {
    m_credentials.insert(account, std::move(credential));
}

bool CachedKeychainStore::probePresence(const QString& account) {
    if (const auto found = m_presence.constFind(account); found != m_presence.constEnd())
        return *found;
    if (m_presenceFailures.contains(account))
        return false;
    const qint32 status = callBackend([&](KeychainBackend& backend) { return backend.probe(account); });
    if (status == Status::success) {
        m_presence.insert(account, true);
        return true;
    }
    if (status == Status::itemNotFound) {
        m_presence.insert(account, false);
        return false;
    }
    m_presenceFailures.insert(account, status);
    if (KeychainStore::isAuthorizationStatus(status))
        remember(account, AIServiceError(Kind::keychainAuthorizationRequired));
    return false;
}

AIKeyStatus CachedKeychainStore::status(const QString& baseURL) {
    const std::optional<QString> account = accountOrNothing(baseURL);
    if (!account)
        return AIKeyStatus::unavailable;
    const std::lock_guard guard(m_lock);
    if (const auto known = cachedStatus(*account))
        return *known;
    probePresence(*account);
    return cachedStatus(*account).value_or(AIKeyStatus::unavailable);
}

std::optional<AIKeyStatus> CachedKeychainStore::statusWithoutWaiting(const QString& baseURL) {
    const std::optional<QString> account = accountOrNothing(baseURL);
    if (!account)
        return AIKeyStatus::unavailable;
    const std::unique_lock guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock())
        return std::nullopt;
    if (const auto known = cachedStatus(*account))
        return *known;
    probePresence(*account);
    return cachedStatus(*account).value_or(AIKeyStatus::unavailable);
}

bool CachedKeychainStore::hasSavedKey(const QString& baseURL) {
    const std::optional<QString> account = accountOrNothing(baseURL);
    if (!account)
        return false;
    const std::lock_guard guard(m_lock);
    return probePresence(*account);
}

bool CachedKeychainStore::requiresAuthorization(const QString& baseURL) {
    const std::optional<QString> account = accountOrNothing(baseURL);
    if (!account)
        return false;
    const std::lock_guard guard(m_lock);
    const auto found = m_credentials.constFind(*account);
    if (found == m_credentials.constEnd())
        return false;
    const auto* failure = std::get_if<AIServiceError>(&*found);
    return failure && failure->kind() == Kind::keychainAuthorizationRequired;
}

std::optional<QString> CachedKeychainStore::read(const QString& account, bool interactive) {
    const KeychainBackend::ReadResult result =
        callBackend([&](KeychainBackend& backend) { return backend.read(account, interactive); });
    if (result.status == Status::success) {
        const QByteArray bytes = result.data.value_or(QByteArray());
        const QString key = QString::fromUtf8(bytes);
        // A secret that is not valid UTF-8 does not survive the round trip unchanged.
        if (!result.data || key.toUtf8() != bytes || !isUsableKey(key)) {
            remember(account, AIServiceError(Kind::missingAPIKey));
            throw AIServiceError(Kind::missingAPIKey);
        }
        m_presence.insert(account, true);
        m_presenceFailures.remove(account);
        remember(account, std::optional<QString>(key));
        return key;
    }
    if (result.status == Status::itemNotFound) {
        m_presence.insert(account, false);
        remember(account, std::optional<QString>());
        return std::nullopt;
    }
    const AIServiceError mapped = KeychainStore::error(result.status, m_failureReason);
    remember(account, KeychainStore::isAuthorizationStatus(result.status)
                          ? AIServiceError(Kind::keychainAuthorizationRequired)
                          : mapped);
    throw mapped;
}

std::optional<QString> CachedKeychainStore::loadSilently(const QString& baseURL) {
    const QString account = KeychainStore::account(baseURL);
    const std::lock_guard guard(m_lock);
    if (const auto found = m_credentials.constFind(account); found != m_credentials.constEnd()) {
        if (const auto* key = std::get_if<std::optional<QString>>(&*found))
            return *key;
        throw std::get<AIServiceError>(*found);
    }
    return read(account, false);
}

std::optional<QString> CachedKeychainStore::load(const QString& baseURL) {
    try {
        return loadSilently(baseURL);
    } catch (const AIServiceError&) {
        return std::nullopt;
    }
}

std::optional<QString> CachedKeychainStore::authorize(const QString& baseURL) {
    const QString account = KeychainStore::account(baseURL);
    const std::lock_guard guard(m_lock);
    if (const auto found = m_credentials.constFind(account); found != m_credentials.constEnd()) {
        if (const auto* key = std::get_if<std::optional<QString>>(&*found); key && key->has_value())
            return *key;
    }
    return read(account, true);
}

void CachedKeychainStore::save(const QString& key, const QString& baseURL) {
    if (AIText::containsControlCharacter(key))
        throw AIServiceError(Kind::missingAPIKey);
    const QString trimmed = AIText::trimmed(key);
    if (trimmed.isEmpty() || AIText::utf8Length(trimmed) > AIChatExchange::maximumKeyBytes)
        throw AIServiceError(Kind::missingAPIKey);
    const QString account = KeychainStore::account(baseURL);
    const QByteArray secret = trimmed.toUtf8();
    const std::lock_guard guard(m_lock);
    qint32 status = callBackend([&](KeychainBackend& backend) { return backend.update(account, secret); });
    if (status == Status::itemNotFound)
        status = callBackend([&](KeychainBackend& backend) { return backend.add(account, secret); });
    if (status != Status::success)
        throw KeychainStore::error(status, m_failureReason);
    remember(account, std::optional<QString>(trimmed));
    m_presence.insert(account, true);
    m_presenceFailures.remove(account);
}

void CachedKeychainStore::deleteKey(const QString& baseURL) {
    const QString account = KeychainStore::account(baseURL);
    const std::lock_guard guard(m_lock);
    const qint32 status = callBackend([&](KeychainBackend& backend) { return backend.remove(account); });
    if (status != Status::success && status != Status::itemNotFound)
        throw KeychainStore::error(status, m_failureReason);
    remember(account, std::optional<QString>());
    m_presence.insert(account, false);
    m_presenceFailures.remove(account);
}

std::optional<QString> requestKey(CachedKeychainStore* store, const AIConfiguration& service) {
    if (!store)
        return std::nullopt;
    try {
        return store->loadSilently(service.baseURL);
    } catch (const AIServiceError& error) {
        const bool locked = error.kind() == Kind::keychainAuthorizationRequired ||
                            error.kind() == Kind::keychainAuthorizationCancelled;
        if (locked || !service.isLocalService())
            throw;
        return std::nullopt;
    }
}

} // namespace lunorvale
