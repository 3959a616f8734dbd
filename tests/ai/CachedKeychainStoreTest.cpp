#include "AIFailure.h"
#include "core/ai/AIConfiguration.h"
#include "core/ai/KeychainStore.h"

#include <QMap>
#include <functional>
#include <gtest/gtest.h>
#include <variant>

using namespace lunorvale;
using lunorvale::test::failureOf;
using Kind = AIServiceError::Kind;
namespace Status = KeychainStore::Status;

namespace {

// An in-memory secret store that counts what it is asked and can be told to answer a status instead.
class CountingBackend final : public KeychainBackend {
public:
    QMap<QString, QByteArray> items;
    std::optional<qint32> forcedProbe, forcedRead, forcedWrite;
    int probes = 0, silentReads = 0, interactiveReads = 0, updates = 0, adds = 0, removals = 0;
    QString reason; // said about every failure

    qint32 probe(const QString& account) override {
        ++probes;
        return forcedProbe.value_or(items.contains(account) ? Status::success : Status::itemNotFound);
    }
    ReadResult read(const QString& account, bool interactive) override {
        ++(interactive ? interactiveReads : silentReads);
        if (forcedRead || !items.contains(account))
            return {forcedRead.value_or(Status::itemNotFound), std::nullopt};
        return {Status::success, items.value(account)};
    }
    qint32 update(const QString& account, const QByteArray& secret) override {
        ++updates;
        if (forcedWrite || !items.contains(account))
            return forcedWrite.value_or(Status::itemNotFound);
        items[account] = secret;
        return Status::success;
    }
    qint32 add(const QString& account, const QByteArray& secret) override {
        ++adds;
        items[account] = secret;
        return Status::success;
    }
    qint32 remove(const QString& account) override {
        ++removals;
        return items.remove(account) ? Status::success : Status::itemNotFound;
    }
    QString failureReason() const override { return reason; }
    int calls() const { return probes + silentReads + interactiveReads + updates + adds + removals; }
};

std::optional<AIServiceError> failure(Kind kind) {
    return AIServiceError(kind);
}

const QString address = QStringLiteral("https://api.example.invalid/v1"); // also its account
const QString other = QStringLiteral("https://other.example.invalid");

struct CachedKeychainStoreTest : ::testing::Test {
    std::shared_ptr<CountingBackend> backend = std::make_shared<CountingBackend>();
    CachedKeychainStore store{backend};
};

} // namespace

TEST_F(CachedKeychainStoreTest, StatusProbesOnceThenAnswersFromMemory) {
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(backend->calls(), 1);

    backend->items[address] = "sk-1"; // unnoticed during the run
    backend->items[other] = "sk-2";
    EXPECT_EQ(store.status(other), AIKeyStatus::saved);
    EXPECT_EQ(store.loadSilently(other), QStringLiteral("sk-2"));
    EXPECT_EQ(store.status(other), AIKeyStatus::available);
    EXPECT_EQ(store.loadSilently(other), QStringLiteral("sk-2"));
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(backend->probes, 2);
    EXPECT_EQ(backend->silentReads, 1);
}

TEST_F(CachedKeychainStoreTest, InvalidAddressNeverReachesTheStore) {
    const QString bad = QStringLiteral("http://example.invalid");
    EXPECT_EQ(store.status(bad), AIKeyStatus::unavailable);
    EXPECT_FALSE(store.hasSavedKey(bad));
    EXPECT_FALSE(store.requiresAuthorization(bad));
    EXPECT_FALSE(store.load(bad));
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { store.loadSilently(bad); }, [&] { store.authorize(bad); }, [&] { store.save("k", bad); },
             [&] {
                 store.deleteKey(bad);
             }})
        EXPECT_EQ(failureOf(call), failure(Kind::invalidEndpoint));
    EXPECT_EQ(backend->calls(), 0);
}

TEST_F(CachedKeychainStoreTest, SaveRulesSpellingsOfOneAddressAndDelete) {
    for (const QString& key : QStringList{"key\n", "   ", QString(8193, 'k')})
        EXPECT_EQ(failureOf([&] { store.save(key, address); }), failure(Kind::missingAPIKey));
    EXPECT_EQ(backend->calls(), 0);
    store.save(QString(8192, 'k'), address);
    EXPECT_EQ(backend->adds, 1);
    store.save("  sk-new  ", QStringLiteral("HTTPS://API.Example.invalid:443/v1/"));
    EXPECT_EQ(backend->adds, 1);
    EXPECT_EQ(backend->items.value(address), "sk-new");
    EXPECT_EQ(store.status(address), AIKeyStatus::available);
    EXPECT_EQ(store.loadSilently(address + "/"), QStringLiteral("sk-new"));
    EXPECT_EQ(backend->silentReads + backend->probes, 0);

    store.deleteKey(address);
    store.deleteKey(address); // absent: still a success
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(store.loadSilently(address), std::nullopt);
    EXPECT_TRUE(backend->items.isEmpty());
    EXPECT_EQ(backend->silentReads + backend->probes, 0);
}

TEST_F(CachedKeychainStoreTest, CancelledAuthorizationIsRememberedAndAskedAgainOnlyByAuthorize) {
    backend->items[address] = "sk";
    backend->forcedRead = Status::userCancelled;
    EXPECT_EQ(failureOf([&] { store.authorize(address); }), failure(Kind::keychainAuthorizationCancelled));
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_TRUE(store.requiresAuthorization(address));
    EXPECT_EQ(failureOf([&] { store.loadSilently(address); }), failure(Kind::keychainAuthorizationRequired));
    EXPECT_EQ(backend->silentReads, 0);
    backend->forcedRead.reset();
    EXPECT_EQ(store.authorize(address), QStringLiteral("sk"));
    EXPECT_EQ(store.authorize(address), QStringLiteral("sk"));
    EXPECT_EQ(backend->interactiveReads, 2);
    EXPECT_FALSE(store.requiresAuthorization(address));
}

TEST_F(CachedKeychainStoreTest, LockedStoreAndProbeFailures) {
    backend->forcedRead = Status::interactionNotAllowed;
    EXPECT_EQ(failureOf([&] { store.loadSilently(address); }), failure(Kind::keychainAuthorizationRequired));
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(store.load(address));
    EXPECT_EQ(backend->silentReads, 1);
    EXPECT_EQ(backend->interactiveReads, 0);

    // A failed probe is remembered until an operation on the account succeeds.
    CachedKeychainStore fresh(backend);
    backend->forcedProbe = Status::interactionNotAllowed;
    EXPECT_EQ(fresh.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(fresh.hasSavedKey(address));
    backend->forcedProbe = Status::notAvailable;
    EXPECT_EQ(fresh.status(other), AIKeyStatus::noKeyring);
    EXPECT_EQ(fresh.status(other), AIKeyStatus::noKeyring);
    EXPECT_FALSE(fresh.requiresAuthorization(other));
    EXPECT_EQ(backend->probes, 2);
    fresh.save("sk", other);
    EXPECT_EQ(fresh.status(other), AIKeyStatus::available);
}

TEST_F(CachedKeychainStoreTest, UnusableStoredSecretShowsUnavailableUntilSaved) {
    for (const QByteArray& secret :
         {QByteArray("a\nb"), QByteArray(), QByteArray("\xff\xfe"), QByteArray(8193, 'k')}) {
        CachedKeychainStore fresh(backend);
        backend->items[address] = secret;
        EXPECT_EQ(failureOf([&] { fresh.loadSilently(address); }), failure(Kind::missingAPIKey));
        EXPECT_EQ(fresh.status(address), AIKeyStatus::unavailable);
        fresh.save("good", address);
        EXPECT_EQ(fresh.status(address), AIKeyStatus::available);
    }
}

TEST_F(CachedKeychainStoreTest, FailedWritesLeaveTheCacheAlone) {
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    backend->forcedWrite = Status::notAvailable;
    backend->reason =
        QStringLiteral("The name org.freedesktop.secrets was not provided by any .service files");
    EXPECT_EQ(failureOf([&] { store.save("sk", address); }),
              AIServiceError::keychain(Status::notAvailable, backend->reason));
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
}

// The one rule by which every AI request takes its key: a service on this machine needs none, so a store
// that cannot be read is no error for it; a locked store is, for either service, as the key may wait
// behind the unlock.
TEST_F(CachedKeychainStoreTest, ARequestKeyIsOptionalOnlyForALocalService) {
    const QString local = QStringLiteral("http://127.0.0.1:8080/v1");
    backend->items[local] = "sk-local";
    backend->items[address] = "sk-remote";
    using Outcome = std::variant<std::optional<QString>, Kind>;
    const struct {
        std::optional<qint32> read;
        Outcome atLocal, atRemote;
    } cases[] = {
        {std::nullopt, QStringLiteral("sk-local"), QStringLiteral("sk-remote")},
        {Status::itemNotFound, std::nullopt, std::nullopt},
        {Status::notAvailable, std::nullopt, Kind::keychain},
        {Status::internalFailure, std::nullopt, Kind::keychain},
        {Status::interactionNotAllowed, Kind::keychainAuthorizationRequired,
         Kind::keychainAuthorizationRequired},
    };
    const auto outcome = [](const std::function<std::optional<QString>()>& call) -> Outcome {
        try {
            return call();
        } catch (const AIServiceError& error) {
            return error.kind();
        }
    };
    for (const auto& [read, atLocal, atRemote] : cases) {
        SCOPED_TRACE(read.value_or(0));
        backend->forcedRead = read;
        CachedKeychainStore fresh(backend);
        EXPECT_EQ(outcome([&] { return requestKey(&fresh, {local, QStringLiteral("m")}); }), atLocal);
        EXPECT_EQ(outcome([&] { return requestKey(&fresh, {address, QStringLiteral("m")}); }), atRemote);
        EXPECT_EQ(outcome([&] {
                      return requestKey(nullptr, {address, QStringLiteral("m")});
                  }),
                  Outcome(std::optional<QString>()));
    }
}
