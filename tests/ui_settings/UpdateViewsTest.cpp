#include "SettingsHarness.h"
#include "app/model/SoftwareUpdater.h"
#include "ui/settings/MenuSoftwareUpdateReminder.h"
#include "ui/settings/SoftwareUpdateBanner.h"
#include "ui/settings/SoftwareUpdateButton.h"
#include "ui/settings/SoftwareUpdateSettings.h"
#include "ui/window/ScreenFactory.h"

#include <QVBoxLayout>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

// The update layer as the test scripts it; it records the checks it is asked for.
struct FakeController final : UpdaterController {
    std::optional<UpdateError> startFailure;
    QStringList* log = nullptr;
    bool checks = true;
    bool downloads = false;

    std::optional<UpdateError> startUpdater() override {
        if (!startFailure)
            emit canCheckForUpdatesChanged(true);
        return startFailure;
    }
    void checkForUpdates() override { log->append(QStringLiteral("check")); }
    bool canCheckForUpdates() const override { return !startFailure; }
    bool automaticallyChecksForUpdates() const override { return checks; }
    void setAutomaticallyChecksForUpdates(bool on) override {
        emit automaticallyChecksForUpdatesChanged(checks = on);
    }
    bool automaticallyDownloadsUpdates() const override { return downloads; }
    void setAutomaticallyDownloadsUpdates(bool on) override {
        emit automaticallyDownloadsUpdatesChanged(downloads = on);
    }
    QDateTime lastUpdateCheckDate() const override { return {}; }
};

struct Views {
    QStringList log;
    std::optional<UpdateError> startFailure;
    SoftwareUpdater updater{false, [this](UpdaterDelegate&) {
                                auto controller = std::make_unique<FakeController>();
                                controller->log = &log;
                                controller->startFailure = startFailure;
                                return std::unique_ptr<UpdaterController>(std::move(controller));
                            }};
    QWidget window;
    SoftwareUpdateBanner* banner = new SoftwareUpdateBanner(&updater, &window);
    MenuSoftwareUpdateReminder* reminder = new MenuSoftwareUpdateReminder(
        &updater, [this] { log.append(QStringLiteral("open")); }, &window);
    SoftwareUpdateSettings* settings = new SoftwareUpdateSettings(&updater, &window);

    Views() {
        auto* column = new QVBoxLayout(&window);
        column->addWidget(banner);
        column->addWidget(reminder);
        column->addWidget(settings);
        window.show();
    }
};

AppcastItem release() {
    AppcastItem item;
    item.version = item.displayVersion = QStringLiteral("1.2.0");
    return item;
}

UpdateError failure(int code) {
    return UpdateError::make(code, QStringLiteral("说明"));
}

} // namespace

TEST(UpdateViews, EveryStateOfTheUpdaterShows) {
    const AppcastItem item = release();
    const QString failed =
        QStringLiteral("更新未完成，请稍后重试，或从官网下载新版。本地观察仍可继续。\n说明");
    const QString found = QStringLiteral("岚栖 1.2.0 已发布，可查看更新内容。");
    const QString ready = QStringLiteral("1.2.0 已准备好，重启岚栖即可完成更新。");
    const struct {
        const char* name;
        bool start;
        std::optional<UpdateError> startFailure;
        std::function<void(SoftwareUpdater&)> steps;
        QString button;
        QString banner;   // empty: no banner, no popover row
        QString reminder; // the popover row's text
        QString state;
        bool failure;
    } cases[] = {
        {"not started", false, {}, {}, "检查更新…", {}, {}, "尚未检查更新", false},
        {"start failure",
         true,
         failure(UpdateError::configurationInvalid),
         {},
         "检查更新…",
         {},
         {},
         "更新服务暂时无法启动。请重新打开岚栖，或从官网下载新版。\n说明",
         true},
        {"checking",
         true,
         {},
         [](SoftwareUpdater& u) { u.checkForUpdates(); },
         "检查更新…",
         {},
         {},
         "正在检查更新…",
         false},
        {"found",
         true,
         {},
         [&](SoftwareUpdater& u) { u.didFindValidUpdate(item); },
         "查看 1.2.0 更新…",
         found,
         "有新版本 1.2.0",
         "发现新版本 1.2.0",
         false},
        {"ready",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.didFindValidUpdate(item);
             u.willHandleShowingUpdate(true, item, UpdateStage::downloaded);
         },
         "安装更新…",
         ready,
         "1.2.0 已准备好，查看更新",
         "新版已准备好，安装时会重启岚栖。",
         false},
        {"none",
         true,
         {},
         [](SoftwareUpdater& u) { u.didNotFindUpdate(); },
         "检查更新…",
         {},
         {},
         "没有适用于这台电脑的新版本。",
         false},
        {"skipped",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.didFindValidUpdate(item);
             u.userDidMakeChoice(UpdateChoice::skip, item, UpdateStage::notDownloaded);
         },
         "检查更新…",
         {},
         {},
         "已跳过这个版本，仍可手动检查更新。",
         false},
        {"dismissed",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.didFindValidUpdate(item);
             u.userDidMakeChoice(UpdateChoice::dismiss, item, UpdateStage::notDownloaded);
         },
         "查看 1.2.0 更新…",
         found,
         "有新版本 1.2.0",
         "已推迟更新，下次检查时会再次提醒。",
         false},
        {"install on quit",
         true,
         {},
         [&](SoftwareUpdater& u) { u.willInstallUpdateOnQuit(item, {}); },
         "安装更新…",
         ready,
         "1.2.0 已准备好，查看更新",
         "新版已下载，将在退出岚栖时安装；也可现在安装并重启。",
         false},
        {"cancelled (4007)",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.willInstallUpdateOnQuit(item, {});
             u.didAbortWithError(failure(UpdateError::installationCanceled));
         },
         "检查更新…",
         {},
         {},
         "已取消安装，可稍后重新检查更新。",
         false},
        {"authorisation later (4008)",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.willInstallUpdateOnQuit(item, {});
             u.didAbortWithError(failure(UpdateError::installationAuthorizationLater));
         },
         "安装更新…",
         ready,
         "1.2.0 已准备好，查看更新",
         "更新等待系统授权，可稍后从更新入口继续。",
         false},
        {"other failure",
         true,
         {},
         [&](SoftwareUpdater& u) {
             u.didFindValidUpdate(item);
             u.didAbortWithError(failure(UpdateError::downloadFailed));
         },
         "检查更新…",
         {},
         {},
         failed,
         true},
    };
    for (const auto& c : cases) {
        Views v;
        v.startFailure = c.startFailure;
        if (c.start)
            v.updater.start();
        if (c.steps)
            c.steps(v.updater);
        QApplication::processEvents();
        EXPECT_EQ(v.settings->button()->button()->text(), c.button) << c.name;
        // A filled down arrow while a version is known (the banner shows exactly then).
        EXPECT_EQ(v.settings->button()->button()->symbol(),
                  LVSymbol(c.banner.isEmpty() ? "arrow.triangle.2.circlepath" : "arrow.down.circle.fill"))
            << c.name;
        EXPECT_EQ(v.banner->isVisibleTo(&v.window), !c.banner.isEmpty()) << c.name;
        EXPECT_EQ(v.reminder->isVisibleTo(&v.window), !c.banner.isEmpty()) << c.name;
        if (!c.banner.isEmpty()) {
            EXPECT_EQ(v.banner->text()->text(), c.banner) << c.name;
            EXPECT_EQ(v.banner->button()->button()->text(), c.button) << c.name;
            EXPECT_EQ(v.reminder->text(), c.reminder) << c.name;
            EXPECT_EQ(v.reminder->accessibleName(), v.updater.readyToInstall()
                                                        ? QStringLiteral("新版已准备好，查看更新")
                                                        : QStringLiteral("发现新版本，查看更新"))
                << c.name;
        }
        EXPECT_EQ(v.settings->stateLine()->text(), c.state) << c.name;
        EXPECT_EQ(v.settings->stateLine()->palette().color(QPalette::Text),
                  (c.failure ? Palette::danger : Palette::muted).in(v.settings))
            << c.name;
        EXPECT_EQ(v.settings->button()->button()->isEnabled(), c.start && !c.startFailure) << c.name;
    }
}

TEST(UpdateViews, ThePopoverRowOpensTheWindowFirstAndTheSwitchesWaitForTheStart) {
    Views v;
    v.updater.start();
    v.updater.didFindValidUpdate(release());
    QApplication::processEvents();
    QTest::mouseClick(v.reminder, Qt::LeftButton, {}, v.reminder->rect().center());
    EXPECT_EQ(v.log, (QStringList{QStringLiteral("open"), QStringLiteral("check")}));

    // The program's popover holds the row; in preview the check does nothing, the window still opens.
    SettingsHarness s;
    AppModel& model = s.h.start(true);
    model.softwareUpdater()->configurePreview(QStringLiteral("menu-update-ready"));
    MenuActions actions;
    int opened = 0;
    actions.openMain = [&] {
        ++opened;
    };
    const std::unique_ptr<QWidget> popover(makeStandardScreens()->menuContent(model, actions));
    popover->resize(344, 545);
    popover->show();
    auto* row = popover->findChild<MenuSoftwareUpdateReminder*>();
    ASSERT_TRUE(row && row->isVisible());
    EXPECT_EQ(row->text(), QStringLiteral("1.1.1 已准备好，查看更新"));
    QTest::mouseClick(row, Qt::LeftButton, {}, row->rect().center());
    EXPECT_EQ(opened, 1);

    Views fresh;
    SettingsSwitch* checks = fresh.settings->automaticChecks();
    SettingsSwitch* installs = fresh.settings->automaticInstalls();
    EXPECT_FALSE(checks->isEnabled());
    EXPECT_TRUE(checks->isOn());
    fresh.updater.start();
    ASSERT_TRUE(checks->isEnabled());
    EXPECT_TRUE(installs->isEnabled());
    QTest::keyClick(installs, Qt::Key_Space);
    EXPECT_TRUE(installs->isOn());
    QTest::keyClick(checks, Qt::Key_Space);
    EXPECT_FALSE(checks->isOn());
    EXPECT_FALSE(installs->isEnabled());
    EXPECT_EQ(static_cast<FakeController*>(fresh.updater.controller())->downloads, true);
}
