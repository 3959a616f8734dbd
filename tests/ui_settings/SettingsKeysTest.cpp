// GLib's headers use `signals` as a field name, which Qt defines as a macro: it is set aside while they
// are read, as Qt's headers may already be in.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "SettingsHarness.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/KeychainStore.h"
#include "platform/desktop/SecretServiceBackend.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScratchCollection.h"
#include "ui/kit/LVLabel.h"
#include "ui/settings/AIServicePanel.h"
#include "ui/settings/SettingsContextPanel.h"

// The key actions over the Secret Service of the private test session (tools/test-session).

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

std::shared_ptr<CachedKeychainStore> secretService(const QString& collection = QStringLiteral("default")) {
    return std::make_shared<CachedKeychainStore>(std::make_shared<SecretServiceBackend>(collection));
}

// Whether any widget of the page shows or names `secret`.
bool shows(const QWidget* root, const QString& secret) {
    for (const QWidget* widget : root->findChildren<QWidget*>()) {
        if (shownText(widget).contains(secret) || widget->accessibleName().contains(secret) ||
            widget->accessibleDescription().contains(secret))
            return true;
    }
    return false;
}

// Process 700, busy for 30 s, is analysed by the service, which answers; true once the answer is in.
bool askForADecision(SettingsHarness& s, AppModel& model, LoopbackHttpServer& server) {
    s.h.sample();
    s.h.run(30, {700});
    model.setSelectedID(ProcessIdentity{700, 5700});
    server.enqueue(
        LoopbackHttpServer::chatReply(QStringLiteral("{\"decision\":\"keep_observing\",\"reason\":\"r\"}")));
    model.analyze(*s.h.listed(700), std::nullopt, std::nullopt);
    return waitUntil([&] { return !model.aiBusy(); });
}

} // namespace

TEST(SettingsKeys, SavedReadUsedAndRemovedOnlyByTheirButtons) {
    LoopbackHttpServer server;
    const QString address = server.baseURL(QStringLiteral("/v1"));
    SettingsHarness s;
    s.h.services.keychain = secretService();
    s.h.add(700, "encoder");
    SettingsView& page = s.open(QStringLiteral("ai"));
    AIServicePanel* ai = page.aiPanel();

    // A typed key goes with another preset, with leaving the page, and is never stored unsaved.
    type(ai->keyField(), QStringLiteral("sk-abandoned"));
    choose(ai->serviceMenu(), 1);
    EXPECT_TRUE(ai->keyField()->text().isEmpty());
    type(ai->keyField(), QStringLiteral("sk-abandoned"));
    show(page, SettingsSection::rules);
    show(page, SettingsSection::ai);
    EXPECT_EQ(ai->keyField()->text(), QStringLiteral("sk-abandoned"));
    s.leaveAndReturn();
    EXPECT_TRUE(ai->keyField()->text().isEmpty());
    EXPECT_TRUE(s.file(QStringLiteral("defaults.json")).isEmpty());

    // Saved: the normalised address, the trimmed model, the trimmed key under that address.
    type(ai->addressField(), address + QStringLiteral("/"));
    type(ai->modelField(), QStringLiteral(" m "));
    type(ai->keyField(), QStringLiteral(" sk-1 "));
    click(&page, QStringLiteral("保存并启用自动建议"));
    const QJsonObject configuration{{"baseURL", address}, {"model", "m"}};
    EXPECT_EQ(s.stored(AppModel::Keys::aiConfiguration), QJsonValue(configuration));
    EXPECT_EQ(s.stored(AppModel::Keys::automaticAdviceAuthorization), QJsonValue(configuration));
    EXPECT_EQ(secretService()->loadSilently(address), QStringLiteral("sk-1"));
    EXPECT_TRUE(ai->keyField()->text().isEmpty());
    EXPECT_FALSE(shows(&page, QStringLiteral("sk-1")));
    EXPECT_EQ(page.edits().feedback, QStringLiteral("已保存。遇到持续高占用时自动请求简短建议。"));

    // A new run has not read it; the button reads it and the analysis sends it.
    s.h.services.keychain = secretService();
    SettingsView& again = s.open(QStringLiteral("ai"));
    EXPECT_EQ(again.aiPanel()->keyStatus()->text(), QStringLiteral("已保存 · 尚未读取"));
    click(&again, QStringLiteral("读取已存密钥"));
    ASSERT_TRUE(waitUntil([&] { return !again.keyActionRunning(); }));
    EXPECT_EQ(again.edits().feedback, QStringLiteral("密钥已可用。后续分析会复用本次读取结果。"));
    EXPECT_EQ(again.aiPanel()->keyStatus()->text(), QStringLiteral("已保存 · 本次可用"));
    AppModel& model = again.model();
    ASSERT_TRUE(askForADecision(s, model, server));
    ASSERT_FALSE(server.requests().isEmpty());
    EXPECT_EQ(server.requests().last().headers.value("authorization"), QByteArray("Bearer sk-1"));

    // "取消分析" while the service does not answer.
    LoopbackHttpServer::Reply stall;
    stall.stall = true;
    server.enqueue(stall);
    model.analyze(*s.h.listed(700), std::nullopt, std::nullopt);
    QApplication::processEvents();
    EXPECT_TRUE(again.aiPanel()->busyCard()->isVisible());
    EXPECT_FALSE(again.aiPanel()->saveButton()->isEnabled());
    click(&again, QStringLiteral("取消分析"));
    EXPECT_FALSE(again.aiPanel()->busyCard()->isVisible());
    EXPECT_FALSE(model.aiBusy());
    EXPECT_FALSE(model.aiDecision());

    // Removing: "取消" changes nothing; confirmed, the key and automatic advice are gone.
    const QByteArray defaults = s.file(QStringLiteral("defaults.json"));
    click(&again, QStringLiteral("移除密钥"));
    ASSERT_EQ(s.alerts.size(), 1);
    EXPECT_EQ(s.alerts[0].title, QStringLiteral("移除此服务的 API Key？"));
    EXPECT_EQ(s.alerts[0].message, QStringLiteral("将从本机密钥环移除 ") + address +
                                       QStringLiteral(" 的密钥。下次使用这个服务时，需要重新填写。"));
    EXPECT_EQ(s.alerts[0].defaultButton, QStringLiteral("取消"));
    EXPECT_EQ(s.alerts[0].escapeButton, QStringLiteral("取消"));
    EXPECT_TRUE(s.alerts[0].destructive);
    EXPECT_FALSE(again.keyActionRunning());
    EXPECT_EQ(s.file(QStringLiteral("defaults.json")), defaults);
    EXPECT_EQ(secretService()->loadSilently(address), QStringLiteral("sk-1"));
    s.answer = QStringLiteral("移除密钥");
    click(&again, QStringLiteral("移除密钥"));
    ASSERT_TRUE(waitUntil([&] { return !again.keyActionRunning(); }));
    EXPECT_EQ(again.edits().feedback, QStringLiteral("已移除此服务的密钥。"));
    EXPECT_EQ(secretService()->loadSilently(address), std::nullopt);
    EXPECT_EQ(s.stored(AppModel::Keys::automaticAdvicePreference), QJsonValue(false));
    EXPECT_FALSE(again.contextPanel()->automaticSwitch()->isOn());
}

TEST(SettingsKeys, ALockedKeyringAsksOnlyWhenTheButtonIsPressed) {
    const ScratchCollection collection;
    ASSERT_FALSE(collection.path().isEmpty());
    const QString address = QStringLiteral("https://locked-%1.example.invalid/v1")
                                .arg(QUuid::createUuid().toString(QUuid::Id128));
    secretService(collection.path())->save(QStringLiteral("sk-locked"), address);
    collection.lock();
    SettingsHarness s;
    const QJsonObject saved = AIConfiguration{address, QStringLiteral("m")}.toJson();
    s.h.store().setValue(AppModel::Keys::aiConfiguration, saved);
    s.h.store().setValue(AppModel::Keys::automaticAdviceAuthorization, saved);
    s.h.services.keychain = secretService(collection.path());
    SettingsView& page = s.open(QStringLiteral("ai"));
    AIServiceStatusView* status = page.contextPanel()->status();
    EXPECT_EQ(status->headline()->text()->text(), QStringLiteral("AI 等待密钥授权"));
    EXPECT_FALSE(page.keyActionRunning());

    // The private session has no display: the unlock prompt fails as if the user dismissed it.
    click(&page, QStringLiteral("授权读取密钥"));
    ASSERT_TRUE(waitUntil([&] { return !page.keyActionRunning(); }));
    EXPECT_EQ(page.edits().feedback,
              AIServiceError(AIServiceError::Kind::keychainAuthorizationCancelled).errorDescription());
    EXPECT_TRUE(page.edits().feedbackIsError);
    EXPECT_TRUE(status->keyButton()->isEnabled());
}

// Without a Secret Service no key can be read, which a service on this machine does not need: it is
// neither shown as broken nor kept from answering.
TEST(SettingsKeys, ALocalServiceWorksWithoutASecretService) {
    struct NoSecretService final : KeychainBackend {
        qint32 probe(const QString&) override { return KeychainStore::Status::notAvailable; }
        ReadResult read(const QString&, bool) override { return {KeychainStore::Status::notAvailable, {}}; }
        qint32 update(const QString&, const QByteArray&) override {
            return KeychainStore::Status::notAvailable;
        }
        qint32 add(const QString&, const QByteArray&) override { return KeychainStore::Status::notAvailable; }
        qint32 remove(const QString&) override { return KeychainStore::Status::notAvailable; }
    };
    LoopbackHttpServer server;
    SettingsHarness s;
    s.h.store().setValue(
        AppModel::Keys::aiConfiguration,
        AIConfiguration{server.baseURL(QStringLiteral("/v1")), QStringLiteral("m")}.toJson());
    s.h.store().setValue(AppModel::Keys::automaticAdvicePreference, false);
    s.h.services.keychain = std::make_shared<CachedKeychainStore>(std::make_shared<NoSecretService>());
    s.h.add(700, "encoder");
    SettingsView& page = s.open(QStringLiteral("ai"));
    AIServiceStatusView* status = page.contextPanel()->status();
    EXPECT_EQ(status->headline()->text()->text(), QStringLiteral("AI 仅手动分析"));
    EXPECT_FALSE(status->keyButton()->isVisible());
    EXPECT_EQ(page.aiPanel()->keyStatus()->text(), QStringLiteral("本机服务可不填"));
    EXPECT_EQ(page.aiPanel()->badge()->title(), QStringLiteral("已配置"));

    AppModel& model = page.model();
    ASSERT_TRUE(askForADecision(s, model, server));
    EXPECT_EQ(model.aiError(), std::nullopt);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_FALSE(server.requests().last().headers.contains("authorization"));
}
