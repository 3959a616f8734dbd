#include "SettingsHarness.h"
#include "core/ai/KeychainStore.h"
#include "library/LibraryHarness.h"
#include "platform/desktop/DesktopOpener.h"
#include "platform/desktop/FreedesktopNotifications.h"
#include "platform/desktop/LoginItem.h"
#include "platform/files/AtomicFile.h"
#include "platform/update/StandardUpdaterController.h"
#include "platform/update/UpdateConfiguration.h"
#include "support/EventLoop.h"
#include "support/FakeDesktop.h"
#include "support/LoopbackHttpServer.h"
#include "support/PrivateBus.h"
#include "ui/kit/LVDisclosure.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVSegmentedControl.h"
#include "ui/settings/AIServicePanel.h"
#include "ui/settings/AppearancePanel.h"
#include "ui/settings/HelpView.h"
#include "ui/settings/NotificationsPanel.h"
#include "ui/settings/RulesPanel.h"
#include "ui/settings/SettingsContextPanel.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SoftwareUpdateSettings.h"
#include "ui/settings/WelcomeView.h"
#include "ui_kit/FocusWalk.h"

#include <QAccessible>
#include <QDir>
#include <QGuiApplication>
#include <QScrollArea>
#include <QScrollBar>

using namespace lunorvale;
using namespace lunorvale::test;
using Section = SettingsSection;

namespace {

const QString saved = QStringLiteral("观察规则已保存，持续时间从现在重新累计。");

MonitorSettings storedRules(SettingsHarness& s) {
    return MonitorSettings::fromJson(
               s.stored(AppModel::Keys::monitorSettings).value_or(QJsonValue()).toObject())
        .value_or(MonitorSettings{0, 0, 0, false});
}

// The real update layer over the harness's settings file, its feed on a loopback server that is never
// asked within the test (the first scheduled check waits much longer).
void useUpdateLayer(SettingsHarness& s, const LoopbackHttpServer& feed) {
    UpdateEnvironment environment;
    environment.programPath = s.h.path(QStringLiteral("opt/lunorvale"));
    environment.configurationPath = UpdateConfiguration::pathBeside(environment.programPath);
    environment.settings = SettingsStore(s.h.path(QStringLiteral("defaults.json")));
    environment.downloadDirectory = s.h.path(QStringLiteral("updates"));
    environment.packageDatabase = s.h.path(QStringLiteral("dpkg"));
    environment.currentVersion = QStringLiteral("1.0.0");
    environment.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    AtomicFile::write(environment.programPath, "#!/bin/sh\n", 0755);
    AtomicFile::write(environment.configurationPath,
                      QStringLiteral(R"({"feedURL":"%1","publicEDKey":"%2"})")
                          .arg(feed.baseURL(QStringLiteral("/appcast.xml")),
                               QString::fromLatin1(QByteArray(32, 'k').toBase64()))
                          .toUtf8());
    s.h.services.updaterFactory = StandardUpdaterController::factory({}, environment);
}

} // namespace

TEST(SettingsPage, EveryControlStoresItsValueAndANewRunShowsIt) {
    SettingsHarness s;
    LoopbackHttpServer feed;
    useUpdateLayer(s, feed);
    SettingsView& page = s.open();
    RulesPanel* rules = page.rulesPanel();
    EXPECT_EQ(rules->thresholdField()->placeholderText(), QStringLiteral("10–1600"));

    // Return in the field saves nothing; the button saves the typed threshold with the other rules.
    type(rules->thresholdField(), QStringLiteral("120"));
    QTest::keyClick(rules->thresholdField(), Qt::Key_Return);
    EXPECT_FALSE(s.stored(AppModel::Keys::monitorSettings));
    click(&page, QStringLiteral("保存观察规则"));
    EXPECT_EQ(storedRules(s), (MonitorSettings{30, 120, 300, false}));
    EXPECT_EQ(page.edits().feedback, saved);
    EXPECT_TRUE(page.feedbackLine()->isVisible());

    // Menus: Space opens them, the arrows and Return choose; their value is their description.
    choose(rules->intervalMenu(), 1);
    choose(rules->durationMenu(), 2);
    EXPECT_EQ(rules->intervalMenu()->accessibleName(), QStringLiteral("采样间隔"));
    EXPECT_EQ(rules->intervalMenu()->accessibleDescription(), QStringLiteral("60 秒"));
    EXPECT_EQ(rules->durationMenu()->face(), QStringLiteral("15 分钟"));

    // "恢复默认": "取消" changes nothing; confirming saves the defaults.
    click(&page, QStringLiteral("恢复默认"));
    ASSERT_EQ(s.alerts.size(), 1);
    const Alert& alert = s.alerts.first();
    EXPECT_EQ(alert.title, QStringLiteral("恢复默认观察规则？"));
    EXPECT_EQ(
        alert.message,
        QStringLiteral("将改为每 30 秒采样，CPU 达到 90% 并持续 5 分钟后提醒。已累计的观察时长会重新计算。"));
    EXPECT_EQ(alert.buttons, (QStringList{QStringLiteral("取消"), QStringLiteral("恢复默认")}));
    EXPECT_EQ(alert.defaultButton, QStringLiteral("恢复默认"));
    EXPECT_EQ(alert.escapeButton, QStringLiteral("取消"));
    EXPECT_FALSE(alert.destructive);
    EXPECT_EQ(page.edits().interval, 60);
    EXPECT_EQ(storedRules(s), (MonitorSettings{30, 120, 300, false}));
    s.answer = QStringLiteral("恢复默认");
    click(&page, QStringLiteral("恢复默认"));
    EXPECT_EQ(storedRules(s), (MonitorSettings{30, 90, 300, false}));
    EXPECT_EQ(rules->thresholdField()->text(), QStringLiteral("90"));

    show(page, Section::appearance);
    click(&page, QStringLiteral("石墨深色"));
    EXPECT_EQ(s.stored(AppModel::Keys::appearance), QJsonValue(QStringLiteral("dark")));
    EXPECT_EQ(page.appearancePanel()->card(2)->accessibleDescription(), QStringLiteral("已选择"));

    show(page, Section::ai);
    AIServicePanel* ai = page.aiPanel();
    type(ai->addressField(), QStringLiteral("http://127.0.0.1:9/v1/"));
    type(ai->modelField(), QStringLiteral(" m "));
    QTest::keyClick(page.contextPanel()->automaticSwitch(), Qt::Key_Space);
    EXPECT_EQ(ai->saveButton()->text(), QStringLiteral("保存 AI 设置"));
    click(&page, QStringLiteral("保存 AI 设置"));
    const QJsonObject local{{"baseURL", "http://127.0.0.1:9/v1"}, {"model", "m"}};
    EXPECT_EQ(s.stored(AppModel::Keys::aiConfiguration), QJsonValue(local));
    EXPECT_EQ(s.stored(AppModel::Keys::automaticAdvicePreference), QJsonValue(false));
    EXPECT_FALSE(s.stored(AppModel::Keys::automaticAdviceAuthorization));
    EXPECT_TRUE(page.edits().feedback.startsWith(QStringLiteral("已保存。")));
    EXPECT_EQ(ai->addressField()->text(), QStringLiteral("http://127.0.0.1:9/v1"));

    // The update switches write nothing before the updater has started, then the layer's preferences.
    show(page, Section::updates);
    auto* updates = static_cast<SoftwareUpdateSettings*>(page.panel(Section::updates));
    EXPECT_FALSE(updates->automaticChecks()->isEnabled());
    page.model().softwareUpdater()->start();
    ASSERT_TRUE(updates->automaticChecks()->isEnabled());
    QTest::keyClick(updates->automaticChecks(), Qt::Key_Space);
    EXPECT_EQ(s.stored(QLatin1String(StandardUpdaterController::automaticChecksKey)), QJsonValue(false));
    EXPECT_FALSE(updates->automaticInstalls()->isEnabled());
    QTest::keyClick(updates->automaticChecks(), Qt::Key_Space);
    QTest::keyClick(updates->automaticInstalls(), Qt::Key_Space);
    EXPECT_EQ(s.stored(QLatin1String(StandardUpdaterController::automaticDownloadsKey)), QJsonValue(true));
    QTest::keyClick(updates->automaticChecks(), Qt::Key_Space);

    // A new run over the same folder shows every value.
    SettingsView& again = s.open();
    again.model().softwareUpdater()->start();
    EXPECT_EQ(again.rulesPanel()->thresholdField()->text(), QStringLiteral("90"));
    EXPECT_EQ(again.rulesPanel()->intervalMenu()->face(), QStringLiteral("30 秒"));
    show(again, Section::appearance);
    EXPECT_EQ(again.appearancePanel()->card(2)->accessibleDescription(), QStringLiteral("已选择"));
    show(again, Section::ai);
    EXPECT_EQ(again.aiPanel()->addressField()->text(), QStringLiteral("http://127.0.0.1:9/v1"));
    EXPECT_EQ(again.aiPanel()->modelField()->text(), QStringLiteral("m"));
    EXPECT_FALSE(again.contextPanel()->automaticSwitch()->isOn());
    show(again, Section::updates);
    updates = static_cast<SoftwareUpdateSettings*>(again.panel(Section::updates));
    EXPECT_FALSE(updates->automaticChecks()->isOn());
    EXPECT_TRUE(updates->automaticInstalls()->isOn());

    // Reminders off over hand-edited rules stores rules the model accepts.
    s.h.store().setValue(AppModel::Keys::monitorSettings, MonitorSettings{3, 2000, 300, true}.toJson());
    SettingsView& edited = s.open(QStringLiteral("notifications"));
    QTest::keyClick(edited.notificationsPanel()->remindersSwitch(), Qt::Key_Space);
    EXPECT_EQ(storedRules(s), (MonitorSettings{5, 1600, 300, false}));
    EXPECT_EQ(edited.edits().feedback, QStringLiteral("异常通知已关闭。"));
}

namespace {

// A registration the system has not approved yet, as a desktop with approvals would report it.
class PendingLoginItem final : public LoginItem {
public:
    bool registered = true;

    LoginItemStatus status() override {
        return registered ? LoginItemStatus::requiresApproval : LoginItemStatus::notRegistered;
    }
    void registerItem() override { registered = true; }
    void unregisterItem() override { registered = false; }
};

} // namespace

TEST(SettingsPage, ALoginAwaitingApprovalShowsAsOnAndTurnsOff) {
    SettingsHarness s;
    PendingLoginItem item;
    s.h.services.loginItem = &item;
    NotificationsPanel* panel = s.open(QStringLiteral("notifications")).notificationsPanel();
    EXPECT_TRUE(panel->loginSwitch()->isOn());
    EXPECT_EQ(panel->loginStatus()->value()->text(), QStringLiteral("等待系统批准"));

    QTest::keyClick(panel->loginSwitch(), Qt::Key_Space);
    EXPECT_FALSE(item.registered);
    EXPECT_FALSE(panel->loginSwitch()->isOn());
    EXPECT_EQ(panel->loginStatus()->value()->text(), QStringLiteral("未开启"));
}

TEST(SettingsPage, RemindersLoginAndTheDesktopsSettings) {
    PrivateBus bus;
    ASSERT_TRUE(bus.isRunning());
    FreedesktopNotifications center(bus.connect(QStringLiteral("client")));
    SettingsHarness s;
    const QString entry = s.h.path(QStringLiteral("autostart/lunorvale.desktop"));
    AutostartLoginItem item(QCoreApplication::applicationFilePath(), entry);
    s.h.services.loginItem = &item;

    // Without a notification server the switch stays off.
    s.h.services.notifications = &center;
    SettingsView& page = s.open(QStringLiteral("notifications"));
    NotificationsPanel* panel = page.notificationsPanel();
    ASSERT_TRUE(waitUntil([&] { return page.model().notificationStatus() == QStringLiteral("系统已关闭"); }));
    QTest::keyClick(panel->remindersSwitch(), Qt::Key_Space);
    ASSERT_TRUE(
        waitUntil([&] { return page.model().statusMessage().startsWith(QStringLiteral("通知权限未开启")); }));
    EXPECT_FALSE(panel->remindersSwitch()->isOn());
    {
        FakeNotificationServer server(bus.connect(QStringLiteral("server")));
        click(&page, QStringLiteral("刷新状态"));
        QTest::keyClick(panel->remindersSwitch(), Qt::Key_Space);
        ASSERT_TRUE(waitUntil([&] { return panel->remindersSwitch()->isOn(); }));
        ASSERT_TRUE(waitUntil(
            [&] { return panel->notificationStatus()->value()->text() == QStringLiteral("系统已允许"); }));
    }

    // Login: the switch writes the entry; what happens to it outside shows after activation or a refresh.
    QTest::keyClick(panel->loginSwitch(), Qt::Key_Space);
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(
        ("\nExec=" + QCoreApplication::applicationFilePath() + " --login-launch\n").toUtf8()));
    file.close();
    EXPECT_TRUE(panel->loginSwitch()->isOn());
    const auto status = [&] {
        return panel->loginStatus()->value()->text();
    };
    EXPECT_EQ(status(), QStringLiteral("已开启"));
    const auto changeOutside = [&](const QByteArray& text) {
        QFile::remove(entry);
        if (!text.isEmpty())
            AtomicFile::write(entry, text);
    };
    const auto activate = [] {
        emit qGuiApp->applicationStateChanged(Qt::ApplicationActive);
        QApplication::processEvents();
    };
    changeOutside({});
    activate();
    EXPECT_EQ(status(), QStringLiteral("未开启"));
    QTest::keyClick(panel->loginSwitch(), Qt::Key_Space);
    changeOutside("[Desktop Entry]\nHidden=true\nExec=" + QCoreApplication::applicationFilePath().toUtf8() +
                  "\n");
    activate();
    EXPECT_EQ(status(), QStringLiteral("未开启"));
    EXPECT_FALSE(panel->loginSwitch()->isOn());
    changeOutside("[Desktop Entry]\nExec=/opt/elsewhere/lunorvale --login-launch\n");
    click(&page, QStringLiteral("刷新状态"));
    EXPECT_EQ(status(), QStringLiteral("应用位置不可用"));
    QTest::keyClick(panel->loginSwitch(), Qt::Key_Space); // off: a click asks for on
    QTest::keyClick(panel->loginSwitch(), Qt::Key_Space);
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_EQ(status(), QStringLiteral("未开启"));

    // The desktop's settings for login items, as the opener knows them.
    click(&page, QStringLiteral("管理自动启动项"));
    EXPECT_EQ(s.opener->log, QStringList{QStringLiteral("login-settings")});

    // "打开通知设置" starts the first settings program on PATH, detached; with none, it says so.
    QTemporaryDir bin;
    const QString record = bin.filePath(QStringLiteral("arguments"));
    AtomicFile::write(
        bin.filePath(QStringLiteral("gnome-control-center")),
        ("#!/bin/sh\necho \"$@\" > '" + record + ".tmp' && mv '" + record + ".tmp' '" + record + "'\n")
            .toUtf8(),
        0755);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()) + ':' + path);
    FakeRevealer files;
    s.desktop = std::make_shared<SystemDesktopOpener>(files, files, entry);
    SettingsView& real = s.open(QStringLiteral("notifications"));
    click(&real, QStringLiteral("打开通知设置"));
    EXPECT_TRUE(waitUntil([&] { return QFile::exists(record); }));
    QFile arguments(record);
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    EXPECT_EQ(arguments.readAll(), QByteArray("notifications\n"));
    EXPECT_TRUE(real.edits().feedback.isEmpty());
    qputenv("PATH", QFile::encodeName(bin.filePath(QStringLiteral("nothing-here"))));
    click(&real, QStringLiteral("打开通知设置"));
    qputenv("PATH", path);
    EXPECT_EQ(real.edits().feedback, QStringLiteral("无法打开通知设置。请在桌面的通知设置中选择岚栖。"));
    EXPECT_TRUE(real.edits().feedbackIsError);

    // Without the desktop's autostart settings, the folder the entry would be in is shown.
    qputenv("PATH", QFile::encodeName(bin.filePath(QStringLiteral("nothing-here"))));
    click(&real, QStringLiteral("管理自动启动项"));
    qputenv("PATH", path);
    EXPECT_EQ(files.revealed, QList<QUrl>{QUrl::fromLocalFile(QFileInfo(entry).absolutePath())});
}

TEST(SettingsPage, ClearingTheHistoryAndItsFailure) {
    // An event shown, or three the file holds unseen, dated a day ahead of a clock set back: either way
    // they are counted, and clearing is offered and empties the file.
    const struct { int secondsAhead, events; } rows[] = {{0, 1}, {86400, 3}};
    for (const auto& row : rows) {
        SettingsHarness s;
        const LocalHistoryStore store(s.h.path(QStringLiteral("history.json")));
        QList<ActivityEvent> events;
        for (int i = 0; i < row.events; ++i)
            events.append(
                ActivityEvent{QUuid::createUuid(), StoredDate::from(s.h.clock.addSecs(row.secondsAhead)),
                              QStringLiteral("发现"), QStringLiteral("细节"), QStringLiteral("finding")});
        store.save(events, s.h.clock);
        SettingsView& page = s.open(QStringLiteral("appearance"));
        AppearancePanel* panel = page.appearancePanel();
        const QString count = QStringLiteral("已保存 %1 条记录").arg(row.events);
        EXPECT_EQ(panel->countLine()->text(), count);
        EXPECT_TRUE(panel->clearButton()->isEnabled()) << row.secondsAhead;
        click(&page, QStringLiteral("清空记录"));
        EXPECT_EQ(panel->countLine()->text(), count); // "取消"
        ASSERT_EQ(s.alerts.size(), 1);
        EXPECT_EQ(s.alerts[0].title, QStringLiteral("清空本地操作记录？"));
        EXPECT_EQ(s.alerts[0].defaultButton, QStringLiteral("取消"));
        EXPECT_EQ(s.alerts[0].escapeButton, QStringLiteral("取消"));
        EXPECT_TRUE(s.alerts[0].destructive);
        s.answer = QStringLiteral("清空记录");
        click(&page, QStringLiteral("清空记录"));
        EXPECT_EQ(panel->countLine()->text(), QStringLiteral("已保存 0 条记录"));
        EXPECT_EQ(page.edits().feedback, QStringLiteral("本地操作记录已清空。"));
        EXPECT_FALSE(panel->clearButton()->isEnabled()) << row.secondsAhead;
        EXPECT_TRUE(store.load(s.h.clock.addSecs(2 * row.secondsAhead)).isEmpty()) << row.secondsAhead;
    }

    // A folder where the history file belongs: the error shows, the button stays enabled, clearing fails.
    SettingsHarness broken;
    ASSERT_TRUE(QDir().mkpath(broken.h.path(QStringLiteral("history.json"))));
    broken.answer = QStringLiteral("清空记录");
    SettingsView& failing = broken.open(QStringLiteral("appearance"));
    const QString sentence =
        QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。该位置是一个文件夹。");
    EXPECT_EQ(failing.appearancePanel()->storageError()->text()->text(), sentence);
    click(&failing, QStringLiteral("清空记录"));
    EXPECT_EQ(failing.edits().feedback, sentence);
    EXPECT_TRUE(failing.edits().feedbackIsError);
    EXPECT_TRUE(failing.appearancePanel()->storageError()->isVisible());
    EXPECT_EQ(failing.appearancePanel()->countLine()->text(), QStringLiteral("已保存 0 条记录"));
}

TEST(SettingsPage, EditsSurviveModelChangesAndEveryControlIsNamedAndReachable) {
    SettingsHarness s;
    s.h.add(800, "encoder");
    SettingsView& page = s.open();
    const QList<QWidget*> widgets = page.findChildren<QWidget*>();
    QLineEdit* threshold = page.rulesPanel()->thresholdField();
    type(threshold, QStringLiteral("12"));
    threshold->setCursorPosition(1);
    s.h.sample();
    page.model().setAppearance(QStringLiteral("light"));
    page.model().setStatusMessage(QStringLiteral("x"));
    QApplication::processEvents();
    EXPECT_EQ(threshold->text(), QStringLiteral("12"));
    EXPECT_EQ(threshold->cursorPosition(), 1);
    EXPECT_TRUE(threshold->hasFocus());

    show(page, Section::ai);
    QLineEdit* address = page.aiPanel()->addressField();
    type(address, QStringLiteral("https://x.invalid/v1"));
    page.contextPanel()->disclosure()->setExpanded(true);
    s.h.sample();
    page.model().disableAutomaticAdvice();
    QApplication::processEvents();
    EXPECT_EQ(address->text(), QStringLiteral("https://x.invalid/v1"));
    EXPECT_TRUE(address->hasFocus());
    EXPECT_TRUE(page.contextPanel()->disclosure()->isExpanded());
    EXPECT_EQ(page.findChildren<QWidget*>(), widgets);

    // Every section: each focusable control has a name, and Tab visits every enabled one once, in
    // reading order, showing the kit's ring at each.
    for (const Section section : SettingsLogic::sections) {
        show(page, section);
        QList<QWidget*> controls;
        for (QWidget* widget : page.findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(&page) || widget->focusPolicy() == Qt::NoFocus)
                continue;
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            EXPECT_FALSE(accessible->text(QAccessible::Name).isEmpty()) << widget->metaObject()->className();
            if (widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) && widget != page.picker())
                controls.append(widget);
        }
        // The section's column first, then the side panel; each top to bottom, then left to right.
        const auto place = [&](QWidget* widget) {
            const QPoint at = widget->mapTo(&page, widget->rect().center());
            return std::tuple(page.contextPanel()->isAncestorOf(widget), at.y() / 8, at.x());
        };
        std::sort(controls.begin(), controls.end(),
                  [&](QWidget* a, QWidget* b) { return place(a) < place(b); });
        page.picker()->setFocus(Qt::TabFocusReason);
        QList<QWidget*> visited;
        for (int i = 0; i < controls.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget());
        }
        EXPECT_EQ(visited, controls) << SettingsLogic::title(section).toStdString();
        EXPECT_TRUE(everyFocusShows(s.window, page, *page.picker(), {}))
            << SettingsLogic::title(section).toStdString();
    }
}

// A screen a case: each of the page's previews, the help and the welcome.
class PreviewScreen : public ::testing::TestWithParam<const char*> {};

TEST_P(PreviewScreen, WritesNothingAndReachesNothing) {
    struct CountingBackend final : KeychainBackend {
        int calls = 0;
        qint32 probe(const QString&) override { return ++calls, KeychainStore::Status::itemNotFound; }
        ReadResult read(const QString&, bool) override {
            return ++calls, ReadResult{KeychainStore::Status::itemNotFound, {}};
        }
        qint32 update(const QString&, const QByteArray&) override { return ++calls, 0; }
        qint32 add(const QString&, const QByteArray&) override { return ++calls, 0; }
        qint32 remove(const QString&) override { return ++calls, 0; }
    };
    auto backend = std::make_shared<CountingBackend>();
    SettingsHarness s;
    s.h.services.keychain = std::make_shared<CachedKeychainStore>(backend);
    s.answer = QStringLiteral("恢复默认");
    const QStringList before = QDir(s.h.path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    // Every button, switch, card and menu of the page; whatever it opens is closed again.
    const auto clickEverything = [&](QWidget& root) {
        for (QAbstractButton* control : root.findChildren<QAbstractButton*>()) {
            if (!control->isVisibleTo(&root))
                continue;
            QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* dialog = qobject_cast<QDialog*>(window); dialog && dialog->isVisible())
                    dialog->done(0);
            }
            QApplication::processEvents();
        }
    };
    const QString screen = QString::fromLatin1(GetParam());
    if (screen == QStringLiteral("help") || screen == QStringLiteral("welcome")) {
        s.h.start(true); // a screenshot run's model
        s.window.show();
    }
    if (screen == QStringLiteral("help")) {
        HelpView help(*s.h.model, BundleVersion::current(), &s.window);
        help.show();
        clickEverything(help);
    } else if (screen == QStringLiteral("welcome")) {
        WelcomeView welcome(*s.h.model, {}, &s.window);
        welcome.show();
        clickEverything(welcome);
    } else {
        SettingsView& page = s.open(screen, true);
        clickEverything(page);
        EXPECT_FALSE(page.keyActionRunning());
    }
    EXPECT_EQ(QDir(s.h.path({})).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    EXPECT_TRUE(s.opener->log.isEmpty()) << s.opener->log.join(u' ').toStdString();
    EXPECT_EQ(backend->calls, 0);
}

INSTANTIATE_TEST_SUITE_P(SettingsPage, PreviewScreen,
                         ::testing::Values("rules", "notifications", "ai-authorize", "ai-saved", "appearance",
                                           "updates", "help", "welcome"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return QString::fromLatin1(info.param).replace(u'-', u'_').toStdString();
                         });

TEST(SettingsPage, ChangesThatCannotBeStoredAreNotCalledSaved) {
    SettingsHarness s;
    // A plain file where the settings folder belongs: every write fails.
    QFile blocker(s.h.path(QStringLiteral("folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    s.h.settingsPath = s.h.path(QStringLiteral("folder/defaults.json"));
    SettingsView& page = s.open();
    const QString notStored = QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。");
    type(page.rulesPanel()->thresholdField(), QStringLiteral("120"));
    click(&page, QStringLiteral("保存观察规则"));
    EXPECT_EQ(page.edits().feedback, notStored);
    EXPECT_TRUE(page.edits().feedbackIsError);
    EXPECT_EQ(s.h.model->settings().cpuThreshold, 120); // it holds for this run
}

TEST(SettingsPage, AppearanceAndAutomaticAdviceOffThatCannotBeStoredSaySo) {
    struct SavedKey final : KeychainBackend {
        qint32 probe(const QString&) override { return KeychainStore::Status::success; }
        ReadResult read(const QString&, bool) override { return {KeychainStore::Status::success, "sk-1"}; }
        qint32 update(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
        qint32 add(const QString&, const QByteArray&) override { return KeychainStore::Status::success; }
        qint32 remove(const QString&) override { return KeychainStore::Status::success; }
    };
    const QString notStored = QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。");
    const struct {
        const char* name;
        Section section;
        QString button;
        QString feedback;
        std::function<bool(const AppModel&)> inForce;
    } cases[] = {
        {"appearance", Section::appearance, QStringLiteral("石墨深色"), notStored,
         [](const AppModel& model) {
             return model.appearance() == QStringLiteral("dark");
         }},
        {"key removed, automatic advice off", Section::ai, QStringLiteral("移除密钥"),
         QStringLiteral("已移除此服务的密钥。") + notStored,
         [](const AppModel& model) {
             return !model.automaticAdviceEnabled();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsHarness s;
        const QString folder = s.h.path(QStringLiteral("folder"));
        ASSERT_TRUE(QDir().mkpath(folder));
        s.h.settingsPath = folder + QStringLiteral("/defaults.json");
        const QJsonObject service =
            AIConfiguration{QStringLiteral("https://api.example.invalid/v1"), "m"}.toJson();
        s.h.store().setValue(AppModel::Keys::aiConfiguration, service);
        s.h.store().setValue(AppModel::Keys::automaticAdviceAuthorization, service);
        s.h.services.keychain = std::make_shared<CachedKeychainStore>(std::make_shared<SavedKey>());
        s.answer = QStringLiteral("移除密钥");
        SettingsView& page = s.open();
        ASSERT_TRUE(page.model().automaticAdviceEnabled());
        // A plain file where the settings folder was: nothing is written from now on.
        ASSERT_TRUE(QDir(folder).removeRecursively());
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));

        show(page, c.section);
        click(&page, c.button);
        ASSERT_TRUE(waitUntil([&] { return !page.keyActionRunning(); }));
        EXPECT_EQ(page.edits().feedback, c.feedback);
        EXPECT_TRUE(page.edits().feedbackIsError);
        EXPECT_TRUE(c.inForce(page.model()));
    }
}

namespace {

// Whether all of `widget` shows in the page's scrolling viewport.
bool inView(SettingsView& page, const QWidget* widget) {
    const QWidget* viewport = page.scrollArea()->viewport();
    return widget->isVisible() &&
           viewport->rect().contains(QRect(widget->mapTo(viewport, QPoint()), widget->size()));
}

// Presses a control with the keyboard, as its user would after tabbing to it.
void press(QWidget* control) {
    control->setFocus(Qt::TabFocusReason);
    QTest::keyClick(control, Qt::Key_Space);
    QApplication::processEvents();
}

} // namespace

// A short window: the outcome of a button lands below what is shown unless the page brings it up.
TEST(SettingsPage, TheFeedbackLineIsScrolledIntoViewWhenSet) {
    const struct {
        const char* name;
        Section section;
        std::function<QWidget*(SettingsView&)> prepare; // returns the button to press
        QString feedback;
    } cases[] = {
        {"no notification settings to open", Section::notifications,
         [](SettingsView& page) -> QWidget* { return page.notificationsPanel()->openSettingsButton(); },
         QStringLiteral("无法打开通知设置。请在桌面的通知设置中选择岚栖。")},
        {"an AI save refused", Section::ai,
         [](SettingsView& page) -> QWidget* {
             type(page.aiPanel()->addressField(), QStringLiteral("ftp://x.invalid/v1"));
             type(page.aiPanel()->modelField(), QStringLiteral("m"));
             return page.aiPanel()->saveButton();
         },
         QStringLiteral("服务地址无效。请使用 HTTPS；只有 localhost、127.0.0.1 或 ::1 可使用 HTTP。"
                        "地址不能包含账号、查询参数或片段。")},
        {"rules saved", Section::rules,
         [](SettingsView& page) -> QWidget* {
             type(page.rulesPanel()->thresholdField(), QStringLiteral("120"));
             return page.rulesPanel()->saveButton();
         },
         saved},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsHarness s;
        SettingsView& page = s.open();
        s.window.resize(1132, 420);
        page.resize(1132, 420);
        show(page, c.section);
        QWidget* button = c.prepare(page);
        // Scrolled just far enough to show the button, at the bottom edge.
        page.scrollArea()->ensureWidgetVisible(button, 0, 0);
        ASSERT_TRUE(inView(page, button));
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        QApplication::processEvents();
        EXPECT_EQ(page.edits().feedback, c.feedback);
        EXPECT_TRUE(inView(page, page.feedbackLine()));
    }
}

TEST(SettingsPage, AnUntouchedFirstRunHasNothingToSave) {
    SettingsHarness s;
    SettingsView& page = s.open(QStringLiteral("ai"));
    AIServicePanel* ai = page.aiPanel();
    EXPECT_FALSE(ai->unsavedLabel()->isVisible());
    EXPECT_FALSE(ai->saveButton()->isEnabled());
    EXPECT_EQ(ai->saveButton()->text(), QStringLiteral("已保存"));
    EXPECT_EQ(page.contextPanel()->automaticCaption()->text(), QStringLiteral("更改后保存生效"));
    // Typing a model is a change.
    type(ai->modelField(), QStringLiteral("gpt-x"));
    EXPECT_TRUE(ai->unsavedLabel()->isVisible());
    EXPECT_EQ(ai->saveButton()->text(), QStringLiteral("保存并启用自动建议"));
    EXPECT_EQ(page.contextPanel()->automaticCaption()->text(), QStringLiteral("修改尚未保存"));
}

TEST(SettingsPage, ANewSectionStartsAtItsTopAndFocusStaysNearTheControlUsed) {
    SettingsHarness s;
    SettingsView& page = s.open();
    s.window.resize(1132, 420);
    page.resize(1132, 420);
    QApplication::processEvents();
    QScrollBar* scroll = page.scrollArea()->verticalScrollBar();
    ASSERT_GT(scroll->maximum(), 0);
    scroll->setValue(scroll->maximum());
    show(page, Section::ai);
    EXPECT_EQ(scroll->value(), 0);

    // A control that turns off after its use hands the focus to its neighbour in the same panel.
    const struct {
        const char* name;
        Section section;
        std::function<QWidget*(SettingsView&)> prepare; // returns the control to press
        std::function<QWidget*(SettingsView&)> near;
    } cases[] = {
        {"rules saved", Section::rules,
         [](SettingsView& page) -> QWidget* {
             type(page.rulesPanel()->thresholdField(), QStringLiteral("120"));
             return page.rulesPanel()->saveButton();
         },
         [](SettingsView& page) -> QWidget* {
             return page.rulesPanel()->restoreButton();
         }},
        {"AI saved", Section::ai,
         [](SettingsView& page) -> QWidget* {
             type(page.aiPanel()->addressField(), QStringLiteral("http://127.0.0.1:9/v1"));
             type(page.aiPanel()->modelField(), QStringLiteral("m"));
             return page.aiPanel()->saveButton();
         },
         [](SettingsView& page) -> QWidget* {
             return page.aiPanel()->privacyButton();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsView& again = s.open();
        show(again, c.section);
        QWidget* control = c.prepare(again);
        ASSERT_TRUE(control->isEnabled());
        press(control);
        EXPECT_FALSE(control->isEnabled());
        EXPECT_EQ(QApplication::focusWidget(), c.near(again));
    }
}

namespace {

// A sentence of the settings page and what brings it and takes it away.
struct FeedbackCase {
    const char* name;
    Section section;
    std::function<void(SettingsView&)> prepare;
    std::function<QWidget*(SettingsView&)> act;  // the button that brings the sentence
    std::function<void(SettingsView&)> takeAway; // none: it stays until the section changes
};

std::vector<FeedbackCase> feedbackCases() {
    return {
        {"rules saved",
         Section::rules,
         [](SettingsView& page) { type(page.rulesPanel()->thresholdField(), QStringLiteral("120")); },
         [](SettingsView& page) -> QWidget* { return page.rulesPanel()->saveButton(); },
         {}},
        {"no notification settings",
         Section::notifications,
         [](SettingsView&) {},
         [](SettingsView& page) -> QWidget* { return page.notificationsPanel()->openSettingsButton(); },
         {}},
        {"AI address refused, then edited", Section::ai,
         [](SettingsView& page) {
             type(page.aiPanel()->addressField(), QStringLiteral("ftp://x.invalid/v1"));
             type(page.aiPanel()->modelField(), QStringLiteral("m"));
         },
         [](SettingsView& page) -> QWidget* { return page.aiPanel()->saveButton(); },
         [](SettingsView& page) {
             type(page.aiPanel()->addressField(), QStringLiteral("https://x.invalid/v1"));
         }},
    };
}

// Each sentence on a short, a nearly fitting (the main window's first size is 1132 x 631 for the page)
// and a roomy page; the narrow one wraps the AI sentence onto two lines. A test each, so that none runs
// long under the sanitizers.
struct FeedbackRun {
    FeedbackCase sentence;
    QSize size;
};

std::string runName(const FeedbackRun& run) {
    std::string name;
    for (const char* c = run.sentence.name; *c != '\0'; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c)))
            name += *c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    return name + '_' + std::to_string(run.size.width()) + 'x' + std::to_string(run.size.height());
}

void PrintTo(const FeedbackRun& run, std::ostream* out) {
    *out << runName(run);
}

std::vector<FeedbackRun> feedbackRuns() {
    std::vector<FeedbackRun> runs;
    for (const FeedbackCase& sentence : feedbackCases()) {
        for (const QSize size :
             {QSize(1132, 420), QSize(1132, 600), QSize(1132, 631), QSize(860, 600), QSize(1132, 820)})
            runs.push_back({sentence, size});
    }
    return runs;
}

class FeedbackLine : public ::testing::TestWithParam<FeedbackRun> {};

} // namespace

// Seen live: the feedback line coming and going moved the panel by a line (and the scroll bar with it),
// so that a click meant for one field landed in another. Its line is kept: where it shows, nothing of the
// panel moves when it comes or goes, a sentence of several lines included. Only a line out of view is
// scrolled to.
TEST_P(FeedbackLine, MovesNothingWhenItComesAndGoes) {
    const FeedbackCase& c = GetParam().sentence;
    const QSize size = GetParam().size;
    for (const bool atEnd : {false, true}) {
        SCOPED_TRACE(atEnd ? "at the end" : "at the top");
        SettingsHarness s;
        SettingsView& page = s.open();
        s.window.resize(size);
        page.resize(size);
        show(page, c.section);
        c.prepare(page);
        QScrollBar* bar = page.scrollArea()->verticalScrollBar();
        ASSERT_TRUE(deliverDue());
        bar->setValue(atEnd ? bar->maximum() : 0);
        ASSERT_TRUE(deliverDue());
        // Where the line shows: at the end, or on a page as tall as the main window's or taller.
        const bool lineShows = atEnd || size.height() >= 631;
        QWidget* panel = page.panel(c.section);
        const auto places = [&] {
            QList<QRect> rects;
            for (const QWidget* widget : panel->findChildren<QWidget*>())
                if (widget->isVisibleTo(panel) && widget->focusPolicy() != Qt::NoFocus)
                    rects.append(QRect(widget->mapTo(&s.window, QPoint()), widget->size()));
            return rects;
        };
        const QList<QRect> before = places();
        ASSERT_FALSE(before.isEmpty());
        QWidget* button = c.act(page);
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
        ASSERT_TRUE(deliverDue());
        ASSERT_FALSE(page.edits().feedback.isEmpty());
        EXPECT_TRUE(inView(page, page.feedbackLine()));
        const QList<QRect> shown = places();
        if (lineShows) {
            EXPECT_EQ(shown, before);
        }
        if (c.takeAway) {
            c.takeAway(page);
            ASSERT_TRUE(deliverDue());
            ASSERT_TRUE(page.edits().feedback.isEmpty());
            EXPECT_FALSE(page.feedbackLine()->isVisible());
            EXPECT_EQ(places(), shown);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(SettingsPage, FeedbackLine, ::testing::ValuesIn(feedbackRuns()),
                         [](const ::testing::TestParamInfo<FeedbackRun>& info) {
                             return runName(info.param);
                         });
