#include "app/model/SoftwareUpdater.h"

#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

AppcastItem release(const char* version, bool critical = false) {
    AppcastItem item;
    item.version = QString::fromLatin1(version);
    item.displayVersion = item.version;
    item.critical = critical;
    return item;
}

UpdateError error(int code, QString reason = {}, QString suggestion = {},
                  QString domain = UpdateError::updaterDomain) {
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

// Each step starts from an update on offer (found, not downloaded) or ready to install. The update layer's
// own tests cover the other callbacks in the order the layer makes them.
TEST(SoftwareUpdater, CallbacksSetTheirState) {
    struct Case {
        const char* name;
        bool fromReady;
        std::function<void(UpdaterDelegate&)> step;
        State expected;
    };
    const AppcastItem item = release("1.2.0");
    const QString noUpdate = QStringLiteral("没有适用于这台电脑的新版本。");
    const QString installOnQuit = QStringLiteral("新版已下载，将在退出岚栖时安装；也可现在安装并重启。");
    const QString failed = QStringLiteral("更新未完成");
    // clang-format off
    const QList<Case> cases{
        {"no update, then its abort", true, [](UpdaterDelegate& d) {
             d.didNotFindUpdate();
             d.didAbortWithError(error(UpdateError::noUpdate));
         }, {{}, false, noUpdate, {}, checkButton}},
        {"dismiss keeps the offer until the session ends", false, [&](UpdaterDelegate& d) {
             d.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::notDownloaded);
         }, {"1.2.0", false, QStringLiteral("已推迟更新，下次检查时会再次提醒。"), {}, offerButton}},
        {"authorisation later", true, [](UpdaterDelegate& d) { d.didAbortWithError(error(4008)); },
         {"1.2.0", true, QStringLiteral("更新等待系统授权，可稍后从更新入口继续。"), {}, installButton}},
        {"failure, two lines", true,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(UpdateError::downloadFailed)); },
         {{}, false, failed, aborted, checkButton}},
        {"failure, four lines", false,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(3001, "原因", "建议")); },
         {{}, false, failed, aborted + QStringLiteral("\n原因\n建议"), checkButton}},
        {"code 1001 of another domain fails", false,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(1001, {}, "建议", "other")); },
         {{}, false, failed, aborted + QStringLiteral("\n建议"), checkButton}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoftwareUpdater updater(false);
        updater.didFindValidUpdate(item);
        EXPECT_EQ(stateOf(updater), (State{"1.2.0", false, found, {}, offerButton}));
        if (c.fromReady) {
            EXPECT_FALSE(updater.willInstallUpdateOnQuit(item, [] {}));
            EXPECT_EQ(stateOf(updater), (State{"1.2.0", true, installOnQuit, {}, installButton}));
        }
        c.step(updater);
        EXPECT_EQ(stateOf(updater), c.expected);
    }
}

// Preview scenes show an offer or a ready update without ever making the update layer; outside preview
// mode they change nothing.
TEST(SoftwareUpdater, PreviewScenesNeverMakeAController) {
    const std::tuple<const char*, bool, bool> cases[] = {
        {"menu-update-available", true, false}, {"update-ready", true, true}, {"overview", false, false}};
    for (const auto& [scene, offered, ready] : cases) {
        bool factoryCalled = false;
        SoftwareUpdater updater(true, [&](UpdaterDelegate&) {
            factoryCalled = true;
            return std::unique_ptr<UpdaterController>();
        });
        updater.configurePreview(QString::fromLatin1(scene));
        updater.start();
        updater.checkForUpdates();
        EXPECT_EQ(updater.availableVersion().has_value(), offered) << scene;
        EXPECT_EQ(updater.property("availableVersion").value<std::optional<QString>>(),
                  updater.availableVersion());
        EXPECT_EQ(updater.readyToInstall(), ready) << scene;
        EXPECT_FALSE(factoryCalled || updater.controller() || updater.isStarted());
    }
    SoftwareUpdater live(false);
    live.configurePreview(QStringLiteral("update-ready"));
    EXPECT_FALSE(live.availableVersion());
}
