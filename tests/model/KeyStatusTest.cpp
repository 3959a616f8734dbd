#include "ModelHarness.h"
#include "core/ai/KeychainStore.h"

#include <QSemaphore>
#include <thread>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// A secret store whose reads that may ask the user wait until the test lets them go, as the desktop's
// unlock prompt does.
struct PromptingBackend final : KeychainBackend {
    QSemaphore asked, answered;
    qint32 probe(const QString&) override { return KeychainStore::Status::success; }
    ReadResult read(const QString&, bool interactive) override {
        if (!interactive)
            return {KeychainStore::Status::interactionNotAllowed, std::nullopt};
        asked.release();
        answered.acquire();
        return {KeychainStore::Status::success, QByteArray("sk-1")};
    }
    qint32 update(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
    qint32 add(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
    qint32 remove(const QString&) override { return KeychainStore::Status::success; }
};

} // namespace

// The interface reads the key status on every refresh; it never waits for a prompt a worker waits on.
TEST(KeyStatus, TheLastReadingStandsWhileAPromptIsUp) {
    auto backend = std::make_shared<PromptingBackend>();
    const auto store = std::make_shared<CachedKeychainStore>(backend);
    ModelHarness h;
    const QString address = QStringLiteral("https://api.example.invalid/v1");
    h.store().setValue(AppModel::Keys::aiConfiguration,
                       AIConfiguration{address, QStringLiteral("m")}.toJson());
    h.services.keychain = store;
    AppModel& model = h.start();
    ASSERT_EQ(model.aiKeyStatus(), AIKeyStatus::saved);

    std::thread worker([&] { store->authorize(address); });
    backend->asked.acquire();
    EXPECT_EQ(store->statusWithoutWaiting(address), std::nullopt);
    EXPECT_EQ(model.aiKeyStatus(), AIKeyStatus::saved);
    backend->answered.release();
    worker.join();
    EXPECT_EQ(model.aiKeyStatus(), AIKeyStatus::available);
}

// The key store is asked about the saved address only once a model is named: a first run holds just a
// preset's address and must not reach the Secret Service (nor wake an unlock prompt) for it.
TEST(KeyStatus, OnlyANamedModelAsksTheKeyStore) {
    struct CountingBackend final : KeychainBackend {
        int probes = 0;
        qint32 probe(const QString&) override { return ++probes, KeychainStore::Status::success; }
        ReadResult read(const QString&, bool) override { return {KeychainStore::Status::itemNotFound, {}}; }
        qint32 update(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
        qint32 add(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
        qint32 remove(const QString&) override { return KeychainStore::Status::success; }
    };
    const QString address = QStringLiteral("https://api.example.invalid/v1");
    const struct {
        std::optional<AIConfiguration> saved; // absent: a first run
        AIKeyStatus status;
        int probes;
    } cases[] = {
        {std::nullopt, AIKeyStatus::missing, 0},
        {AIConfiguration{address, QStringLiteral(" \t")}, AIKeyStatus::missing, 0},
        {AIConfiguration{address, QStringLiteral("m")}, AIKeyStatus::saved, 1},
        // A model without a valid address: the store has nothing to look up.
        {AIConfiguration{QString(), QStringLiteral("m")}, AIKeyStatus::unavailable, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.saved ? (c.saved->baseURL + u'|' + c.saved->model).toStdString() : "first run");
        auto backend = std::make_shared<CountingBackend>();
        ModelHarness h;
        if (c.saved)
            h.store().setValue(AppModel::Keys::aiConfiguration, c.saved->toJson());
        h.services.keychain = std::make_shared<CachedKeychainStore>(backend);
        const AppModel& model = h.start();
        EXPECT_EQ(model.aiKeyStatus(), c.status);
        EXPECT_EQ(backend->probes, c.probes);
    }
}
