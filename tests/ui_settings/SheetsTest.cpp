#include "SettingsHarness.h"
#include "app/ports/UserNotificationCenter.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/settings/HelpView.h"
#include "ui/settings/PrivacyView.h"
#include "ui/settings/SettingsSheets.h"
#include "ui/settings/SoftwareUpdateSettings.h"
#include "ui/settings/WelcomeView.h"
#include "ui/window/MainView.h"
#include "ui/window/MainViewBars.h"

#include <QDialog>

using namespace lunorvale;
using namespace lunorvale::test;

TEST(Sheets, OnboardingShowsOnceEndsOnlyByItsStartButtonAndComesBackFromTheHelp) {
    SettingsHarness s;
    {
        MainView window(s.h.start(), std::nullopt);
        window.resize(1180, 820);
        window.show();
        QApplication::processEvents();
        QPointer<QDialog> sheet = window.sheetDialog();
        ASSERT_TRUE(sheet && sheet->isVisible());
        auto* welcome = sheet->findChild<WelcomeView*>();
        ASSERT_TRUE(welcome);
        EXPECT_EQ(welcome->reminderButton()->text(), QStringLiteral("开启异常通知"));
        EXPECT_EQ(welcome->reminderHint()->text(), QStringLiteral("可以现在开启，也可以稍后到设置中开启。"));

        // Neither Escape nor closing the window ends it.
        QTest::keyClick(welcome->privacyButton(), Qt::Key_Escape);
        QTest::keyClick(sheet, Qt::Key_Escape);
        sheet->close();
        QApplication::processEvents();
        ASSERT_TRUE(sheet && sheet->isVisible());
        EXPECT_EQ(window.sheetDialog(), sheet);

        // Return anywhere in it is "开始使用".
        QTest::keyClick(welcome->privacyButton(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_FALSE(window.sheetDialog());
        EXPECT_EQ(s.stored(AppModel::Keys::hasCompletedOnboarding), QJsonValue(true));

        // The help page opens it again; its start button closes it.
        window.toggleHelp();
        QApplication::processEvents();
        auto* help = window.helpWidget()->findChild<HelpView*>();
        ASSERT_TRUE(help);
        click(help, QStringLiteral("重新查看入门"));
        ASSERT_TRUE(help->welcomeSheet() && help->welcomeSheet()->isVisible());
        click(help->welcomeSheet(), QStringLiteral("开始使用"));
        EXPECT_FALSE(help->welcomeSheet());
    }
    // A new run shows none.
    MainView again(s.h.start(), std::nullopt);
    again.show();
    QApplication::processEvents();
    EXPECT_FALSE(again.sheetDialog());
}

// Reminders whose permission answer waits until the test gives it.
class HeldReminders final : public UserNotificationCenter {
public:
    PermissionAnswer pending;
    void authorizationStatus(AuthorizationAnswer answer) override {
        answer(NotificationAuthorization::authorized);
    }
    void requestAuthorization(PermissionAnswer answer) override { pending = std::move(answer); }
    void add(const UserNotification&, Posted posted) override { posted(std::nullopt); }
    void remove(const QStringList&) override {}
};

TEST(Sheets, ReturnStartsAfterTheRemindersButtonTurnedOff) {
    SettingsHarness s;
    HeldReminders reminders;
    s.h.services.notifications = &reminders;
    MainView window(s.h.start(), std::nullopt);
    window.resize(1180, 820);
    window.show();
    QApplication::processEvents();
    QPointer<QDialog> sheet = window.sheetDialog();
    ASSERT_TRUE(sheet);
    auto* welcome = sheet->findChild<WelcomeView*>();
    ASSERT_TRUE(welcome);
    sheet->activateWindow();
    QApplication::processEvents();
    welcome->reminderButton()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(welcome->reminderButton()->hasFocus());
    QTest::keyClick(welcome->reminderButton(), Qt::Key_Space);
    ASSERT_TRUE(reminders.pending);
    reminders.pending(true, std::nullopt);
    QApplication::processEvents();
    ASSERT_EQ(welcome->reminderButton()->text(), QStringLiteral("已开启提醒"));
    ASSERT_FALSE(welcome->reminderButton()->isEnabled());

    // The focus the button gives up goes to the start button, not to the privacy statement's.
    EXPECT_EQ(QApplication::focusWidget(), welcome->startButton());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(window.sheetDialog());
    EXPECT_EQ(s.stored(AppModel::Keys::hasCompletedOnboarding), QJsonValue(true));
}

TEST(Sheets, AnOnboardingThatCannotBeStoredSaysSo) {
    SettingsHarness s;
    // A plain file where the settings folder belongs: every write fails.
    QFile blocker(s.h.path(QStringLiteral("folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    s.h.settingsPath = s.h.path(QStringLiteral("folder/defaults.json"));
    MainView window(s.h.start(), std::nullopt);
    window.resize(1180, 820);
    window.show();
    QApplication::processEvents();
    ASSERT_TRUE(window.sheetDialog());
    click(window.sheetDialog(), QStringLiteral("开始使用"));
    EXPECT_FALSE(window.sheetDialog());
    EXPECT_EQ(window.statusBar()->messageText()->text(),
              QStringLiteral("设置已生效，但未能写入配置文件，重新打开岚栖后会恢复原值。"));
}

TEST(Sheets, PrivacyStatementIsFixedSelectableAndClosesOnReturn) {
    const QStringList titles{QStringLiteral("在本机读取"), QStringLiteral("在本机保存"),
                             QStringLiteral("由你开启 AI 建议"), QStringLiteral("检查软件更新"),
                             QStringLiteral("由你决定操作")};
    const QStringList texts{
        QStringLiteral(
            "岚栖读取当前用户可访问的进程名称、运行时间、CPU、内存、可执行文件和命令行，以识别任务来源。完整"
            "命令行与进程路径仅用于本机实时展示和判断，不写入事件记录。应用管理另在标准应用目录读取名称、标识"
            "、版本、本体大小和位置，不扫描用户文档，也不推断历史使用情况。"),
        QStringLiteral("观察规则、外观和 AI 服务配置保存在本机。事件记录保存时间、脱敏任务类别、必要的进程 "
                       "ID、指标与处理结果，保留最近 30 天、最多 500 "
                       "条。可在设置中清空，也可在操作记录中导出。卸载操作清单单独保存原位置、回收站位置和结"
                       "果，最多 100 条，可在应用管理中清空；不上传、不包含在事件导出里。API Key "
                       "按服务地址分别保存在本机密钥环，不写入记录或导出文件。"),
        QStringLiteral("保存 AI "
                       "配置时，默认启用“异常时自动给出建议”，不必再单独开启。保存前会说明发送范围；保存成功"
                       "后，岚栖会向已授权服务发送粗粒度任务类型、资源指标和观察时长，后台生成简短建议；此后"
                       "点击获取简短建议也无需重复确认。不发送进程名称、PID、完整命令、路径、文档内容或用户名"
                       "。自动请求同一进程 30 分钟内最多一次，全部服务合计每小时 3 次、24 小时 12 "
                       "次；可能产生费用，可关闭并保存，选择会被记住。未开启时，手动分析仍先预览摘要。应用整"
                       "理单独逐次预览确认所选应用名称、标识、版本、大小、运行快照及已知限制，每次最多 20 "
                       "项。密钥只用于对应服务的认证。"),
        QStringLiteral(
            "岚栖默认每天连接官网检查新版，可在“软件更新”设置中关闭。自动下载安装由你选择开启。官网会收到 "
            "IP、应用及系统版本等常规连接信息；更新检查不发送进程信息、记录或 AI 密钥，不启用系统画像统计。"),
        QStringLiteral("AI 回复只显示为文字建议。岚栖不会因为 AI "
                       "回复而自动执行命令或结束进程。每次进程退出操作都需要确认，并重新核对进程身份。应用移"
                       "除同样要确认并复核，只移动程序本体到回收站，保留程序包外的资料与缓存，不自动清空回收"
                       "站。服务商对请求的存储、处理和费用，适用其自身的政策与条款。"),
    };
    QWidget window;
    window.show();
    QPointer<SheetDialog> sheet = SheetDialog::present(&window, new PrivacyView, true);
    auto* privacy = static_cast<PrivacyView*>(sheet->content());
    ASSERT_EQ(privacy->sectionTitles().size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(privacy->sectionTitles()[i]->text(), titles[i]);
        EXPECT_EQ(privacy->sectionTexts()[i]->text(), texts[i]);
        EXPECT_TRUE(privacy->sectionTexts()[i]->textInteractionFlags() & Qt::TextSelectableByMouse);
        EXPECT_EQ(privacy->sectionTitles()[i]->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(privacy->footer()->text(),
              QStringLiteral("岚栖 Lunorvale · ") + BundleVersion::current().text());
    QTest::keyClick(privacy->doneButton(), Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(sheet);
}

// Onboarding, the privacy statement, the help page and the updates section all name the program's own
// version, the build's, the same way.
TEST(Sheets, EveryViewNamesTheProgramsOneVersion) {
    SettingsHarness s;
    AppModel& model = s.h.start();
    const QString version = BundleVersion::current().text();
    ASSERT_FALSE(version.isEmpty());
    const std::pair<std::function<QWidget*()>, QString> views[] = {
        {[&] { return new WelcomeView(model, {}); }, version},
        {[] { return new PrivacyView; }, QStringLiteral("岚栖 Lunorvale · ") + version},
        {[&] { return new HelpView(model); }, QStringLiteral("版本 ") + version},
        {[&] { return new SoftwareUpdateSettings(model.softwareUpdater()); },
         QStringLiteral("当前版本 ") + version},
    };
    for (const auto& [make, expected] : views) {
        const std::unique_ptr<QWidget> view(make());
        QStringList shown;
        for (const LVText* text : view->findChildren<LVText*>())
            shown << text->text();
        EXPECT_TRUE(shown.contains(expected)) << expected.toStdString();
    }
}
