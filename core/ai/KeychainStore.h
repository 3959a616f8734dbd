#pragma once

#include "core/ai/AIKeyStatus.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/KeychainBackend.h"

#include <QHash>
#include <QString>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

namespace lunorvale {

struct AIConfiguration;

// Helpers of the API-key store that need no state.
namespace KeychainStore {

// The name every item is stored under; the address is the item's account.
inline constexpr char serviceName[] = "app.lunorvale.ai-key";

// Status codes the backends answer with.
namespace Status {
inline constexpr qint32 success = 0;
inline constexpr qint32 userCancelled = -128;
inline constexpr qint32 authenticationFailed = -25293;
inline constexpr qint32 notAvailable = -25291; // no key store at all: nothing on the bus provides one
inline constexpr qint32 itemNotFound = -25300;
inline constexpr qint32 interactionNotAllowed = -25308; // the item is locked and we may not ask
inline constexpr qint32 interactionRequired = -25315;
inline constexpr qint32 internalFailure = -26276;
} // namespace Status

// The account of a base address: the canonical URL's text. Throws AIServiceError(invalidEndpoint).
QString account(const QString& baseURL);
// True for the statuses that mean "the user must allow this read".
bool isAuthorizationStatus(qint32 status);
AIServiceError error(qint32 status, const QString& reason = {});

} // namespace KeychainStore

// The one key store of the process (the application creates it and hands it to whoever needs keys). It
// remembers what the secret store last said for each address, so the interface can show the state of a key
// without touching the secret store again, and it serves a key that was read once from memory.
//
// Every operation is synchronous and may be called from any thread. `status`, `hasSavedKey`,
// `requiresAuthorization` and `loadSilently` never show anything to the user; `authorize` may show the
// desktop's unlock prompt and waits for the user while holding the store's lock, and `save` and `deleteKey`
// may do the same when the secret store is locked. Call those three only from a worker thread (for example
// QtConcurrent::run), never from code the interface repaints from: while they wait, the other operations
// wait too.
class CachedKeychainStore final {
public:
    explicit CachedKeychainStore(std::shared_ptr<KeychainBackend> backend);

    AIKeyStatus status(const QString& baseURL);
    // As `status`, but absent at once while another call holds the store (an unlock prompt may be up):
    // what the interface reads.
    std::optional<AIKeyStatus> statusWithoutWaiting(const QString& baseURL);
    bool hasSavedKey(const QString& baseURL);
    bool requiresAuthorization(const QString& baseURL);
    // The key in memory, else one silent read. No key (and no error) means no item exists.
    std::optional<QString> loadSilently(const QString& baseURL);
    // loadSilently with every error turned into no key.
    std::optional<QString> load(const QString& baseURL);
    // The key in memory, else one read that may ask the user.
    std::optional<QString> authorize(const QString& baseURL);
    void save(const QString& key, const QString& baseURL);
    void deleteKey(const QString& baseURL);

private:
    using Credential = std::variant<std::optional<QString>, AIServiceError>;

    std::optional<AIKeyStatus> cachedStatus(const QString& account) const;
    bool probePresence(const QString& account);
    std::optional<QString> read(const QString& account, bool interactive);
    void remember(const QString& account, Credential credential);

    // Every backend call goes through here: the access lock is always taken inside `m_lock`.
    template <typename Call> auto callBackend(Call&& call) {
        const std::lock_guard access(s_accessLock);
        auto result = call(*m_backend);
        m_failureReason = m_backend->failureReason();
        return result;
    }

    const std::shared_ptr<KeychainBackend> m_backend;
    // Guards the three caches and serialises every operation of the store.
    std::mutex m_lock;
    // Serialises every call into the secret store, across all stores of the process; taken only inside a
    // store's lock.
    static std::mutex s_accessLock;
    QHash<QString, Credential> m_credentials;
    QHash<QString, bool> m_presence;
    // The status of each presence probe that failed.
    QHash<QString, qint32> m_presenceFailures;
    // What the secret store said about the last backend call, for the error it becomes.
    QString m_failureReason;
};

// The key every AI request to `service` is sent with, read without asking the user; absent when none is
// saved, or when there is no store, and the request then goes without one. A service on this machine
// needs no key, so a store that cannot be read at all (no Secret Service on the bus, one that fails) is
// no error for it; a locked store still is, since a key may wait behind the unlock. Throws the store's
// AIServiceError otherwise.
std::optional<QString> requestKey(CachedKeychainStore* store, const AIConfiguration& service);

} // namespace lunorvale
