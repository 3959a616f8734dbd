#include "app/model/SoftwareUpdater.h"

#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

// A controller the test drives by hand.
class FakeController final : public UpdaterController {
public:
    std::optional<UpdateError> startError;
    bool canCheck = true;
    int checks = 0;

    std::optional<UpdateError> startUpdater() override { return startError; }
    void checkForUpdates() override { ++checks; }
    bool canCheckForUpdates() const override { return canCheck; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
    bool automaticallyDownloadsUpdates() const override { return true; }
    void setAutomaticallyDownloadsUpdates(bool) override {}
    QDateTime lastUpdateCheckDate() const override { return QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC); }
};

struct Harness {
    FakeController* controller = nullptr;
    SoftwareUpdater updater{false, [this](UpdaterDelegate&) {
                                auto made = std::make_unique<FakeController>();
                                controller = made.get();
                                return made;
                            }};
};

AppcastItem release(const char* version, bool critical = false) {
    AppcastItem item;
    item.version = QString::fromLatin1(version);
    item.displayVersion = item.version;
    item.critical = critical;
    return item;
}

UpdateError error(int code, QString reason = {}, QString suggestion = {}, QString domain = UpdateError::updaterDomain) {
    return {std::move(domain), code, QStringLiteral("说明"), std::move(reason), std::move(suggestion)};
}

struct State {
    std::optional<QString> version;
    bool ready = false;
    QString status;
    std::optional<QString> failure;
    QString button;
    bool operator==(const State&) const = default;
};

State stateOf(const SoftwareUpdater& updater) {
    return {updater.availableVersion(), updater.readyToInstall(), updater.status(), updater.failure(),
            updater.buttonTitle()};
}

const QString found = QStringLiteral("发现新版本 1.2.0");
const QString offerButton = QStringLiteral("查看 1.2.0 更新…");
const QString installButton = QStringLiteral("安装更新…");
const QString checkButton = QStringLiteral("检查更新…");
const QString aborted = QStringLiteral("更新未完成，请稍后重试，或从官网下载新版。本地观察仍可继续。\n说明");

} // namespace

// Each step starts from an update on offer (found, not downloaded) or ready to install.
TEST(SoftwareUpdater, CallbacksSetTheirState) {
    struct Case {
        const char* name;
        bool fromReady;
        std::function<void(UpdaterDelegate&)> step;
        State expected;
    };
    const AppcastItem item = release("1.2.0");
    const QString noUpdate = QStringLiteral("没有适用于当前 Mac 的新版本。");
    const QString installOnQuit = QStringLiteral("新版已下载，将在退出岚栖时安装；也可现在安装并重启。");
    const QList<Case> cases{
        {"no update", false, [](UpdaterDelegate& d) { d.didNotFindUpdate(); }, {{}, false, noUpdate, {}, checkButton}},
        {"no update, then its abort", true,
         [](UpdaterDelegate& d) {
             d.didNotFindUpdate();
             d.didAbortWithError(error(UpdateError::noUpdate));
         },
         {{}, false, noUpdate, {}, checkButton}},
        {"shown before download", false,
         [&](UpdaterDelegate& d) { d.willHandleShowingUpdate(false, item, UpdateStage::notDownloaded); },
         {"1.2.0", false, found, {}, offerButton}},
        {"shown once downloaded", false,
         [&](UpdaterDelegate& d) { d.willHandleShowingUpdate(true, item, UpdateStage::installing); },
         {"1.2.0", true, QStringLiteral("新版已准备好，安装时会重启岚栖。"), {}, installButton}},
        {"skip", true, [&](UpdaterDelegate& d) { d.userDidMakeChoice(UpdateChoice::skip, item, UpdateStage::downloaded); },
         {{}, false, QStringLiteral("已跳过这个版本，仍可手动检查更新。"), {}, checkButton}},
        {"dismiss keeps the offer until the session ends", false,
         [&](UpdaterDelegate& d) { d.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::notDownloaded); },
         {"1.2.0", false, QStringLiteral("已推迟更新，下次检查时会再次提醒。"), {}, offerButton}},
        {"dismiss, session ends", false,
         [&](UpdaterDelegate& d) {
             d.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::notDownloaded);
             d.willFinishUpdateSession();
         },
         {{}, false, QStringLiteral("已推迟更新，下次检查时会再次提醒。"), {}, checkButton}},
        {"dismiss while ready, session ends", true,
         [&](UpdaterDelegate& d) {
             d.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::downloaded);
             d.willFinishUpdateSession();
         },
         {"1.2.0", true, installOnQuit, {}, installButton}},
        {"install", false, [&](UpdaterDelegate& d) { d.userDidMakeChoice(UpdateChoice::install, item, UpdateStage::notDownloaded); },
         {"1.2.0", false, found, {}, offerButton}},
        {"authorisation later", true, [](UpdaterDelegate& d) { d.didAbortWithError(error(4008)); },
         {"1.2.0", true, QStringLiteral("更新等待系统授权，可稍后从更新入口继续。"), {}, installButton}},
        {"installation cancelled", true, [](UpdaterDelegate& d) { d.didAbortWithError(error(4007)); },
         {{}, false, QStringLiteral("已取消安装，可稍后重新检查更新。"), {}, checkButton}},
        {"failure, two lines", true, [](UpdaterDelegate& d) { d.didAbortWithError(error(UpdateError::downloadFailed)); },
         {{}, false, QStringLiteral("更新未完成"), aborted, checkButton}},
        {"failure, four lines", false,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(3001, QStringLiteral("原因"), QStringLiteral("建议"))); },
         {{}, false, QStringLiteral("更新未完成"), aborted + QStringLiteral("\n原因\n建议"), checkButton}},
        {"code 1001 of another domain fails", false,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(1001, {}, QStringLiteral("建议"), QStringLiteral("other"))); },
         {{}, false, QStringLiteral("更新未完成"), aborted + QStringLiteral("\n建议"), checkButton}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Harness h;
        h.updater.start();
        h.updater.didFindValidUpdate(item);
        EXPECT_EQ(stateOf(h.updater), (State{"1.2.0", false, found, {}, offerButton}));
        if (c.fromReady) {
            EXPECT_FALSE(h.updater.willInstallUpdateOnQuit(item, [] {}));
            EXPECT_EQ(stateOf(h.updater), (State{"1.2.0", true, installOnQuit, {}, installButton}));
        }
        c.step(h.updater);
        EXPECT_EQ(stateOf(h.updater), c.expected);
    }
}

TEST(SoftwareUpdater, StartMirrorsTheControllerAndChecksOnlyWhenItMay) {
    Harness h;
    EXPECT_FALSE(h.updater.controller());
    h.updater.start();
    ASSERT_TRUE(h.updater.controller());
    EXPECT_TRUE(h.updater.isStarted());
    EXPECT_FALSE(h.updater.automaticallyChecks());
    EXPECT_TRUE(h.updater.automaticallyInstalls());
    EXPECT_EQ(h.updater.lastCheckDate(), QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC));
    h.updater.start(); // once per process
    EXPECT_EQ(h.controller, h.updater.controller());

    h.updater.didAbortWithError(error(UpdateError::downloadFailed));
    h.controller->canCheck = false;
    emit h.controller->canCheckForUpdatesChanged(false);
    h.updater.checkForUpdates();
    EXPECT_TRUE(h.updater.failure()); // not even the failure is cleared
    EXPECT_EQ(h.controller->checks, 0);

    h.controller->canCheck = true;
    emit h.controller->canCheckForUpdatesChanged(true);
    h.updater.checkForUpdates();
    EXPECT_FALSE(h.updater.failure());
    EXPECT_EQ(h.updater.status(), QStringLiteral("正在检查更新…"));
    EXPECT_EQ(h.controller->checks, 1);
    // With a release on offer the status keeps naming it.
    h.updater.didFindValidUpdate(release("1.2.0"));
    h.updater.checkForUpdates();
    EXPECT_EQ(h.updater.status(), found);

    SoftwareUpdater failing(false, [](UpdaterDelegate&) {
        auto made = std::make_unique<FakeController>();
        made->startError = error(UpdateError::configurationInvalid);
        made->canCheck = false;
        return made;
    });
    failing.start();
    EXPECT_FALSE(failing.isStarted());
    EXPECT_EQ(failing.failure(), QStringLiteral("更新服务暂时无法启动。请重新打开岚栖，或从官网下载新版。\n说明"));
    EXPECT_EQ(failing.status(), SoftwareUpdater::initialStatus);
}

TEST(SoftwareUpdater, GentleRemindersInterruptOnlyForCriticalReleases) {
    SoftwareUpdater updater(false);
    EXPECT_TRUE(updater.supportsGentleScheduledUpdateReminders());
    EXPECT_FALSE(updater.shouldHandleShowingScheduledUpdate(release("1.2.0"), true));
    EXPECT_TRUE(updater.shouldHandleShowingScheduledUpdate(release("1.2.0", true), false));
}

TEST(SoftwareUpdater, PreviewScenesHaveTheirFixedStateAndNoController) {
    const QList<std::tuple<QString, State>> cases{
        {QStringLiteral("menu-update-available"),
         {"1.1.1", false, QStringLiteral("发现新版本 1.1.1"), {}, QStringLiteral("查看 1.1.1 更新…")}},
        {QStringLiteral("update-ready"),
         {"1.1.1", true, QStringLiteral("新版已下载，将在退出岚栖时安装。"), {}, installButton}},
        {QStringLiteral("overview"), {{}, false, SoftwareUpdater::initialStatus, {}, checkButton}},
    };
    for (const auto& [scene, expected] : cases) {
        bool factoryCalled = false;
        SoftwareUpdater updater(true, [&](UpdaterDelegate&) {
            factoryCalled = true;
            return std::unique_ptr<UpdaterController>(new FakeController);
        });
        updater.configurePreview(scene);
        updater.start();
        updater.checkForUpdates();
        EXPECT_EQ(stateOf(updater), expected) << scene.toStdString();
        EXPECT_FALSE(factoryCalled);
        EXPECT_FALSE(updater.controller());
        EXPECT_FALSE(updater.isStarted());
    }
    // Outside preview mode the scenes change nothing.
    SoftwareUpdater live(false);
    live.configurePreview(QStringLiteral("update-ready"));
    EXPECT_FALSE(live.availableVersion());
}
