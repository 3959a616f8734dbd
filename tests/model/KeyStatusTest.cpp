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
