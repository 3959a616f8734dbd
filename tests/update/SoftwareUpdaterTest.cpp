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
    const QString noUpdate = QStringLiteral("没有适用于当前 Mac 的新版本。");
    const QString installOnQuit = QStringLiteral("新版已下载，将在退出岚栖时安装；也可现在安装并重启。");
    const QList<Case> cases{
        {"no update, then its abort",
         true,
         [](UpdaterDelegate& d) {
             d.didNotFindUpdate();
             d.didAbortWithError(error(UpdateError::noUpdate));
         },
         {{}, false, noUpdate, {}, checkButton}},
        {"dismiss keeps the offer until the session ends",
         false,
         [&](UpdaterDelegate& d) {
             d.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::notDownloaded);
         },
         {"1.2.0", false, QStringLiteral("已推迟更新，下次检查时会再次提醒。"), {}, offerButton}},
        {"authorisation later",
         true,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(4008)); },
         {"1.2.0", true, QStringLiteral("更新等待系统授权，可稍后从更新入口继续。"), {}, installButton}},
        {"failure, two lines",
         true,
         [](UpdaterDelegate& d) { d.didAbortWithError(error(UpdateError::downloadFailed)); },
         {{}, false, QStringLiteral("更新未完成"), aborted, checkButton}},
        {"failure, four lines",
         false,
         [](UpdaterDelegate& d) {
             d.didAbortWithError(error(3001, QStringLiteral("原因"), QStringLiteral("建议")));
         },
         {{}, false, QStringLiteral("更新未完成"), aborted + QStringLiteral("\n原因\n建议"), checkButton}},
        {"code 1001 of another domain fails",
         false,
         [](UpdaterDelegate& d) {
             d.didAbortWithError(error(1001, {}, QStringLiteral("建议"), QStringLiteral("other")));
         },
         {{}, false, QStringLiteral("更新未完成"), aborted + QStringLiteral("\n建议"), checkButton}},
    };
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
            return std::unique_ptr<UpdaterController>();
        });
        updater.configurePreview(scene);
        updater.start();
        updater.checkForUpdates();
        EXPECT_EQ(stateOf(updater), expected) << scene.toStdString();
        EXPECT_EQ(updater.property("availableVersion").value<std::optional<QString>>(), expected.version);
        EXPECT_FALSE(factoryCalled);
        EXPECT_FALSE(updater.controller());
        EXPECT_FALSE(updater.isStarted());
    }
    // Outside preview mode the scenes change nothing.
    SoftwareUpdater live(false);
    live.configurePreview(QStringLiteral("update-ready"));
    EXPECT_FALSE(live.availableVersion());
}
