#include "core/ai/KeychainStore.h"

#include <QMap>
#include <functional>
#include <gtest/gtest.h>

using namespace lunorvale;
using Kind = AIServiceError::Kind;
namespace Status = KeychainStore::Status;

namespace {

// An in-memory secret store that counts what it is asked and can be told to answer a status instead.
class CountingBackend final : public KeychainBackend {
public:
    QMap<QString, QByteArray> items;
    std::optional<qint32> forcedProbe, forcedRead, forcedWrite;
    int probes = 0, silentReads = 0, interactiveReads = 0, updates = 0, adds = 0, removals = 0;

    qint32 probe(const QString& account) override {
        ++probes;
        if (forcedProbe)
            return *forcedProbe;
        return items.contains(account) ? Status::success : Status::itemNotFound;
    }
    ReadResult read(const QString& account, bool interactive) override {
        ++(interactive ? interactiveReads : silentReads);
        if (forcedRead)
            return {*forcedRead, std::nullopt};
        if (!items.contains(account))
            return {Status::itemNotFound, std::nullopt};
        return {Status::success, items.value(account)};
    }
    qint32 update(const QString& account, const QByteArray& secret) override {
        ++updates;
        if (forcedWrite)
            return *forcedWrite;
        if (!items.contains(account))
            return Status::itemNotFound;
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
    int calls() const { return probes + silentReads + interactiveReads + updates + adds + removals; }
};

std::optional<Kind> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AIServiceError& error) {
        return error.kind();
    }
    return std::nullopt;
}

const QString address = QStringLiteral("https://api.example.invalid/v1");
const QString account = QStringLiteral("https://api.example.invalid/v1");

struct CachedKeychainStoreTest : ::testing::Test {
    std::shared_ptr<CountingBackend> backend = std::make_shared<CountingBackend>();
    CachedKeychainStore store{backend};
};

} // namespace

TEST_F(CachedKeychainStoreTest, StatusProbesOnceThenAnswersFromMemory) {
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(backend->probes, 1);
    EXPECT_EQ(backend->calls(), 1);

    backend->items[account] = "sk-1";
    const QString other = QStringLiteral("https://other.example.invalid");
    backend->items[other] = "sk-2";
    EXPECT_EQ(store.status(other), AIKeyStatus::saved);
    EXPECT_EQ(store.loadSilently(other), QStringLiteral("sk-2"));
    EXPECT_EQ(store.status(other), AIKeyStatus::available);
    EXPECT_EQ(store.loadSilently(other), QStringLiteral("sk-2"));
    EXPECT_EQ(backend->silentReads, 1);
    // The first address was seen as missing and is not probed again during the run.
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
}

TEST_F(CachedKeychainStoreTest, InvalidAddressNeverReachesTheStore) {
    const QString bad = QStringLiteral("http://example.invalid");
    EXPECT_EQ(store.status(bad), AIKeyStatus::unavailable);
    EXPECT_FALSE(store.hasSavedKey(bad));
    EXPECT_FALSE(store.requiresAuthorization(bad));
    EXPECT_FALSE(store.load(bad));
    EXPECT_EQ(failureOf([&] { store.loadSilently(bad); }), Kind::invalidEndpoint);
    EXPECT_EQ(failureOf([&] { store.authorize(bad); }), Kind::invalidEndpoint);
    EXPECT_EQ(failureOf([&] { store.save("k", bad); }), Kind::invalidEndpoint);
    EXPECT_EQ(failureOf([&] { store.deleteKey(bad); }), Kind::invalidEndpoint);
    EXPECT_EQ(backend->calls(), 0);
}

TEST_F(CachedKeychainStoreTest, SaveRulesAndSpellingsOfOneAddress) {
    EXPECT_EQ(failureOf([&] { store.save("key\n", address); }), Kind::missingAPIKey);
    EXPECT_EQ(failureOf([&] { store.save("   ", address); }), Kind::missingAPIKey);
    EXPECT_EQ(failureOf([&] { store.save(QString(8193, 'k'), address); }), Kind::missingAPIKey);
    EXPECT_EQ(backend->calls(), 0);
    store.save(QString(8192, 'k'), address);
    EXPECT_EQ(backend->updates, 1);
    EXPECT_EQ(backend->adds, 1);
    store.save("  sk-new  ", QStringLiteral("HTTPS://API.Example.invalid:443/v1/"));
    EXPECT_EQ(backend->adds, 1);
    EXPECT_EQ(backend->items.value(account), "sk-new");
    EXPECT_EQ(store.status(address), AIKeyStatus::available);
    EXPECT_EQ(store.loadSilently(address), QStringLiteral("sk-new"));
    EXPECT_EQ(backend->silentReads, 0);
}

TEST_F(CachedKeychainStoreTest, DeleteOfAnAbsentItemSucceeds) {
    store.deleteKey(address);
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(backend->probes, 0);
    backend->items[account] = "sk";
    store.save("sk2", address);
    store.deleteKey(address);
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(store.loadSilently(address), std::nullopt);
    EXPECT_TRUE(backend->items.isEmpty());
}

TEST_F(CachedKeychainStoreTest, CancelledAuthorizationIsRememberedAndAskedAgainOnlyByAuthorize) {
    backend->items[account] = "sk";
    backend->forcedRead = Status::userCancelled;
    EXPECT_EQ(failureOf([&] { store.authorize(address); }), Kind::keychainAuthorizationCancelled);
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_TRUE(store.requiresAuthorization(address));
    EXPECT_EQ(failureOf([&] { store.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_EQ(backend->silentReads, 0);
    backend->forcedRead.reset();
    EXPECT_EQ(store.authorize(address), QStringLiteral("sk"));
    EXPECT_EQ(backend->interactiveReads, 2);
    EXPECT_EQ(store.authorize(address), QStringLiteral("sk"));
    EXPECT_EQ(backend->interactiveReads, 2);
    EXPECT_FALSE(store.requiresAuthorization(address));
}

TEST_F(CachedKeychainStoreTest, LockedStoreNeedsAuthorization) {
    backend->forcedRead = Status::interactionNotAllowed;
    EXPECT_EQ(failureOf([&] { store.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(store.load(address));
    EXPECT_EQ(backend->silentReads, 1);
    EXPECT_EQ(backend->interactiveReads, 0);
}

TEST_F(CachedKeychainStoreTest, ProbeFailuresAreRememberedUntilAnOperationSucceeds) {
    backend->forcedProbe = Status::interactionNotAllowed;
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(store.hasSavedKey(address));
    EXPECT_EQ(backend->probes, 1);

    const QString other = QStringLiteral("https://other.example.invalid");
    backend->forcedProbe = Status::notAvailable;
    EXPECT_EQ(store.status(other), AIKeyStatus::unavailable);
    EXPECT_FALSE(store.requiresAuthorization(other));
    EXPECT_EQ(store.status(other), AIKeyStatus::unavailable);
    EXPECT_EQ(backend->probes, 2);
    store.save("sk", other);
    EXPECT_EQ(store.status(other), AIKeyStatus::available);
}

TEST_F(CachedKeychainStoreTest, UnusableStoredSecretShowsUnavailableUntilSaved) {
    for (const QByteArray& secret :
         {QByteArray("a\nb"), QByteArray(), QByteArray("\xff\xfe"), QByteArray(8193, 'k')}) {
        CachedKeychainStore fresh(backend);
        backend->items[account] = secret;
        EXPECT_EQ(failureOf([&] { fresh.loadSilently(address); }), Kind::missingAPIKey);
        EXPECT_EQ(fresh.status(address), AIKeyStatus::unavailable);
        fresh.save("good", address);
        EXPECT_EQ(fresh.status(address), AIKeyStatus::available);
    }
}

TEST_F(CachedKeychainStoreTest, FailedWritesLeaveTheCacheAlone) {
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    backend->forcedWrite = -25291;
    try {
        store.save("sk", address);
        ADD_FAILURE();
    } catch (const AIServiceError& error) {
        EXPECT_EQ(error, AIServiceError::keychain(-25291));
    }
    EXPECT_EQ(store.status(address), AIKeyStatus::missing);
    EXPECT_EQ(KeychainStore::error(-25308).kind(), Kind::keychainAuthorizationRequired);
    EXPECT_EQ(KeychainStore::error(-128).kind(), Kind::keychainAuthorizationCancelled);
}
