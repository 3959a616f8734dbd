#include "ui/settings/SettingsLogic.h"
#include "ui/kit/LVSymbol.h"
#include "ui/settings/SoftwareUpdateLogic.h"

#include <QFile>
#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::SettingsLogic;

namespace {

const QString thresholdSentence = QStringLiteral("CPU 阈值需填写 10–1600 之间的数值。");
// What the settings say of a service that needs a key on a desktop without any keyring, as a request would.
const QString noKeyring =
    QStringLiteral("没有找到系统密钥环。请安装并启用密钥环（如 gnome-keyring 或 KWallet）后，"
                   "在设置中重试；本机服务无需密钥。");

// Runs `check` once as the program starts and once with a comma-decimal numeric locale in force.
void inBothNumericLocales(const std::function<void(const char* locale)>& check) {
    check("C");
    QTemporaryDir dir;
    const QByteArray command =
        "localedef -i de_DE -f UTF-8 '" + QFile::encodeName(dir.path()) + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (!dir.isValid() || std::system(command.constData()) != 0)
        GTEST_SKIP() << "localedef could not generate de_DE.UTF-8";
    const QByteArray previousPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    check("de_DE");
    std::setlocale(LC_NUMERIC, previous.c_str());
    qputenv("LOCPATH", previousPath);
}

} // namespace

TEST(SettingsLogic, FirstSection) {
    using S = SettingsSection;
    const struct {
        std::optional<QString> preview;
        bool aiRequest;
        S expected;
    } cases[] = {
        {QStringLiteral("appearance"), true, S::ai},
        {std::nullopt, false, S::rules},
        {QStringLiteral("notifications"), false, S::notifications},
        {QStringLiteral("提醒与启动"), false, S::notifications},
        {QStringLiteral("ai-unconfigured"), false, S::ai},
        {QStringLiteral("AI 服务"), false, S::ai},
        {QStringLiteral("外观与数据"), false, S::appearance},
        {QStringLiteral("updates"), false, S::updates},
        {QStringLiteral("AI"), false, S::rules},
        {QStringLiteral("Updates"), false, S::rules},
        {QStringLiteral("观察规则"), false, S::rules},
        {QStringLiteral("ai-auto "), false, S::rules},
    };
    for (const auto& c : cases)
        EXPECT_EQ(firstSection(c.preview, c.aiRequest), c.expected) << c.preview.value_or("-").toStdString();
}

TEST(SettingsLogic, ThresholdIsReadStrictlyInEveryLocale) {
    const MonitorSettings saved{30, 150, 300, true};
    const struct {
        const char* text;
        std::optional<double> saved; // what a save stores; absent: refused with the sentence
        bool changed;
    } cases[] = {
        {"", {}, true},           {"9.99", {}, true},  {"1600.5", {}, true}, {"90%", {}, true},
        {"nan", {}, true},        {"inf", {}, true},   {"1,5e2", {}, true},  {"1 50", {}, true},
        {"1e3", 1000, true},      {"10", 10, true},    {"1600", 1600, true}, {" 150 ", 150, true},
        {"+90", 90, true},        {"0x1p6", 64, true}, {"150", 150, false},  {"150.0", 150, false},
        {"\u3000150", 150, true},
    };
    inBothNumericLocales([&](const char* locale) {
        for (const auto& c : cases) {
            const QString text = QString::fromUtf8(c.text);
            const auto rules = rulesToSave(30, text, 300, true);
            EXPECT_EQ(rulesValidationError(30, text, 300),
                      c.saved ? std::nullopt : std::optional(thresholdSentence))
                << locale << " " << c.text;
            EXPECT_EQ(rules, c.saved ? std::optional(MonitorSettings{30, *c.saved, 300, true}) : std::nullopt)
                << locale << " " << c.text;
            EXPECT_EQ(rulesChanged(30, text, 300, saved), c.changed) << locale << " " << c.text;
        }
        EXPECT_EQ(thresholdText(90), QStringLiteral("90"));
        EXPECT_EQ(thresholdText(12.5), QStringLiteral("12.5"));
        EXPECT_EQ(thresholdText(1234.5678), QStringLiteral("1234.57"));
    });
    // Out-of-range interval or duration is the second sentence; a changed menu is a change.
    EXPECT_EQ(rulesValidationError(3, QStringLiteral("90"), 300),
              QStringLiteral("采样间隔需为 5–120 秒，持续时间需为 30–3600 秒。"));
    EXPECT_EQ(rulesValidationError(3, QStringLiteral("9"), 300), thresholdSentence);
    EXPECT_TRUE(rulesChanged(15, QStringLiteral("150"), 300, saved));
    EXPECT_TRUE(rulesChanged(30, QStringLiteral("150"), 3600, saved));
}

TEST(SettingsLogic, RuleMenusAndRemindersOff) {
    EXPECT_EQ(intervalLabel(45), QStringLiteral("45 秒"));
    EXPECT_EQ(intervalLabel(120.9), QStringLiteral("120 秒"));
    QStringList durations;
    for (double seconds : durationOptions())
        durations.append(durationLabel(seconds));
    EXPECT_EQ(durations, (QStringList{"30 秒", "1 分钟", "2 分钟", "5 分钟", "10 分钟", "15 分钟", "30 分钟",
                                      "1.0 小时"}));
    // A hand-edited file: turning reminders off must store rules the model accepts.
    EXPECT_EQ(remindersOff({3, 2000, NAN, true}), (MonitorSettings{5, 1600, 300, false}));
    EXPECT_EQ(remindersOff({45, 12.5, 600, true}), (MonitorSettings{45, 12.5, 600, false}));
}

TEST(SettingsLogic, AIFormBadgeHeadingKeyLabelAndSaveTitle) {
    const AIConfiguration deepSeek{QStringLiteral("https://api.deepseek.com"),
                                   QStringLiteral("deepseek-v4-flash")};
    const AIConfiguration local{QStringLiteral("http://127.0.0.1:8080/v1"), QStringLiteral("m")};
    const AIConfiguration none{QString(), QString()};
    const auto form = [](AIConfiguration saved, AIKeyStatus key, bool preference, bool enabled) {
        AIForm f;
        f.savedConfiguration = saved;
        f.key = key;
        f.savedPreference = preference;
        f.automaticEnabled = enabled;
        f.draft = AISettingsDraft(saved);
        f.automaticAdvice = preference;
        return f;
    };
    const QString pending = QStringLiteral("修改尚未保存，当前仍使用已保存的配置。");
    const struct {
        const char* name;
        AIForm form;
        std::function<void(AIForm&)> edit;
        Badge badge;
        QString detail;
        QString keyStatus;
        QString saveTitle;
        bool read, remove;
    } cases[] = {
        // Automatic advice is chosen and not yet authorised, but nothing is configured that a save
        // could authorise: an untouched form has nothing to save.
        {"first launch",
         form(none, AIKeyStatus::missing, true, false),
         {},
         {"未配置", "circle.dashed", AIStatus::Tone::muted},
         "选择服务与模型，填写所需密钥后保存。",
         "未保存",
         "已保存",
         false,
         false},
        {"first launch, preset chosen",
         form(none, AIKeyStatus::missing, true, false),
         [](AIForm& f) { f.draft.selectService(AIServicePreset::Kind::openAI); },
         {"待保存", "pencil.circle.fill", AIStatus::Tone::amber},
         "填写的配置尚未保存，保存后生效。",
         "保存时，密钥将仅关联上方填写的服务地址。",
         "保存并启用自动建议",
         false,
         false},
        {"key missing",
         form(deepSeek, AIKeyStatus::missing, false, false),
         {},
         {"待补充密钥", "exclamationmark.circle.fill", AIStatus::Tone::amber},
         "配置已保存。填入此服务的 API Key 并保存后，才能请求 AI 建议。",
         "未保存",
         "已保存",
         false,
         false},
        {"local, no key",
         form(local, AIKeyStatus::missing, false, false),
         {},
         {"已配置", "checkmark.circle.fill", AIStatus::Tone::success},
         "配置已保存。需要时在任务详情中手动请求 AI 建议。",
         "本机服务可不填",
         "已保存",
         false,
         false},
        {"saved, unread",
         form(deepSeek, AIKeyStatus::saved, true, true),
         {},
         {"已配置", "checkmark.circle.fill", AIStatus::Tone::success},
         "遇到持续高占用时自动请求简短建议。",
         "已保存 · 尚未读取",
         "已保存",
         true,
         true},
        {"saved, key typed",
         form(deepSeek, AIKeyStatus::saved, false, false),
         [](AIForm& f) { f.draft.apiKey = QStringLiteral("sk"); },
         {"修改未保存", "pencil.circle.fill", AIStatus::Tone::amber},
         pending,
         "已保存 · 尚未读取",
         "保存 AI 设置",
         true,
         true},
        {"needs authorisation",
         form(deepSeek, AIKeyStatus::authorizationRequired, false, false),
         {},
         {"已配置 · 待授权", "lock.fill", AIStatus::Tone::amber},
         "配置已保存。点击授权后才能读取密钥；后台不会反复弹窗。",
         "等待授权",
         "已保存",
         false,
         true},
        {"unreadable",
         form(deepSeek, AIKeyStatus::unavailable, false, false),
         {},
         {"密钥暂不可用", "exclamationmark.circle.fill", AIStatus::Tone::amber},
         "配置已保存，但暂时无法读取密钥。可重试读取，或重新填写并保存。",
         "暂时无法读取",
         "已保存",
         false,
         false},
        {"no keyring",
         form(deepSeek, AIKeyStatus::noKeyring, false, false),
         {},
         {"没有找到密钥环", "exclamationmark.circle.fill", AIStatus::Tone::amber},
         noKeyring,
         "没有找到系统密钥环",
         "已保存",
         false,
         false},
        {"address edited",
         form(deepSeek, AIKeyStatus::available, false, false),
         [](AIForm& f) { f.draft.editBaseURL(QStringLiteral("https://api.deepseek.com/v2")); },
         {"修改未保存", "pencil.circle.fill", AIStatus::Tone::amber},
         pending,
         "保存时，密钥将仅关联上方填写的服务地址。",
         "保存 AI 设置",
         false,
         false},
        {"only blanks around the model",
         form(deepSeek, AIKeyStatus::available, false, false),
         [](AIForm& f) { f.draft.configuration.model += QStringLiteral("  "); },
         {"已配置", "checkmark.circle.fill", AIStatus::Tone::success},
         "配置已保存。需要时在任务详情中手动请求 AI 建议。",
         "已保存 · 本次可用",
         "已保存",
         false,
         true},
        // Chosen but authorised for something else: the save stays offered, nothing else says so.
        {"preference not in force",
         form(deepSeek, AIKeyStatus::available, true, false),
         {},
         {"已配置", "checkmark.circle.fill", AIStatus::Tone::success},
         "配置已保存。需要时在任务详情中手动请求 AI 建议。",
         "已保存 · 本次可用",
         "保存并启用自动建议",
         false,
         true},
    };
    for (const auto& c : cases) {
        AIForm f = c.form;
        if (c.edit)
            c.edit(f);
        EXPECT_EQ(f.badge(), c.badge) << c.name;
        EXPECT_EQ(f.headingDetail(), c.detail) << c.name;
        EXPECT_EQ(f.keyStatus(), c.keyStatus) << c.name;
        EXPECT_EQ(f.saveTitle(), c.saveTitle) << c.name;
        EXPECT_EQ(f.showsReadKey(), c.read) << c.name;
        EXPECT_EQ(f.showsRemoveKey(), c.remove) << c.name;
        EXPECT_TRUE(LVSymbol(f.badge().symbol).isRegistered()) << c.name;
    }

    const QString model200(200, u'm');
    EXPECT_EQ(aiSaveError({QStringLiteral("ftp://x.invalid"), QStringLiteral("m")}),
              QStringLiteral("服务地址无效。请使用 HTTPS；只有 localhost、127.0.0.1 或 ::1 可使用 HTTP。"
                             "地址不能包含账号、查询参数或片段。"));
    EXPECT_EQ(aiSaveError({QStringLiteral("https://x.invalid"), model200 + u'm'}),
              QStringLiteral("请先填写服务商支持的模型名称。"));
    EXPECT_EQ(aiSaveError({QStringLiteral("https://x.invalid"), model200}), std::nullopt);
    EXPECT_EQ(modelOptions(AIServicePreset::Kind::deepSeek),
              (QStringList{"deepseek-v4-flash", "deepseek-v4-pro", QString()}));
    EXPECT_TRUE(modelOptions(AIServicePreset::Kind::ollama).isEmpty());
    EXPECT_EQ(modelLabel(QString()), QStringLiteral("自定义"));
}

TEST(SettingsLogic, StatusBlockFollowsTheSavedState) {
    const AIConfiguration deepSeek{QStringLiteral("https://api.deepseek.com"),
                                   QStringLiteral("deepseek-v4-pro")};
    const struct {
        AIStatus status;
        bool unsaved;
        QString headline;
        QString sentence;
        std::optional<QString> button;
        bool saveFirst, note;
        QString serviceRow, keyRow, automaticRow;
    } cases[] = {
        {AIStatus({QStringLiteral("https://x.invalid"), QStringLiteral(" ")}, AIKeyStatus::saved, true, true),
         false,
         "AI 未配置",
         "填写服务、模型和所需密钥后保存。本地建议始终可用。",
         {},
         false,
         false,
         "待完善",
         "已保存 · 尚未读取",
         "已开启"},
        {AIStatus(deepSeek, AIKeyStatus::authorizationRequired, false, true), true, "AI 等待密钥授权",
         "配置已保存。点击授权后才能读取密钥；后台不会反复弹窗。", QStringLiteral("授权读取密钥"), true,
         false, "已保存", "等待授权", "未开启"},
        {AIStatus(deepSeek, AIKeyStatus::unavailable, false, true), false, "AI 密钥暂不可用",
         "配置已保存，但暂时无法读取密钥。可重试读取，或重新填写并保存。", QStringLiteral("重试读取密钥"),
         false, false, "已保存", "暂时无法读取", "未开启"},
        {AIStatus(deepSeek, AIKeyStatus::noKeyring, false, true), false, "AI 没有找到系统密钥环", noKeyring,
         QStringLiteral("重新查找密钥环"), false, false, "已保存", "没有找到系统密钥环", "未开启"},
        {AIStatus(deepSeek, AIKeyStatus::available, true, false),
         true,
         "AI 自动建议已开启",
         "自动建议开关已开启，恢复观察后才会自动分析。",
         {},
         false,
         true,
         "已保存",
         "已保存 · 本次可用",
         "已开启"},
        {AIStatus({QStringLiteral("http://[::1]:9/v1"), QStringLiteral("m")}, AIKeyStatus::missing, false,
                  true),
         false,
         "AI 仅手动分析",
         "配置已保存。需要时在任务详情中手动请求 AI 建议。",
         {},
         false,
         true,
         "已保存",
         "本机服务可不填",
         "未开启"},
    };
    for (const auto& c : cases) {
        const StatusBlock block = statusBlock(c.status, c.unsaved);
        EXPECT_EQ(block.headline, c.headline);
        EXPECT_EQ(block.sentence, c.sentence);
        EXPECT_EQ(block.keyButton, c.button) << c.headline.toStdString();
        EXPECT_EQ(block.showsSaveFirst, c.saveFirst) << c.headline.toStdString();
        EXPECT_EQ(block.showsNote, c.note) << c.headline.toStdString();
        EXPECT_EQ(block.rows[0].second, c.serviceRow);
        EXPECT_EQ(block.rows[1].second, c.keyRow);
        EXPECT_EQ(block.rows[2].second, c.automaticRow);
    }
    EXPECT_EQ(statusBlock(AIStatus(deepSeek, AIKeyStatus::saved, false, true), false).serviceLine,
              QStringLiteral("DeepSeek · deepseek-v4-pro"));
}

TEST(SettingsLogic, SidePanelAndAppearance) {
    for (const SettingsSection section : sections) {
        if (section == SettingsSection::ai)
            continue;
        const SectionContext shown = context(section);
        EXPECT_TRUE(LVSymbol(shown.symbol).isRegistered()) << shown.title.toStdString();
        EXPECT_TRUE(shown.text.contains(QStringLiteral("\n\n"))) << shown.title.toStdString();
    }
    const struct {
        AIServicePreset::Kind preset;
        std::optional<QString> path;
    } links[] = {{AIServicePreset::Kind::openAI, QStringLiteral("/api/docs/models")},
                 {AIServicePreset::Kind::aliyunBeijing,
                  QStringLiteral("/zh/model-studio/compatibility-of-openai-with-dashscope")},
                 {AIServicePreset::Kind::aliyunSingapore,
                  QStringLiteral("/zh/model-studio/compatibility-of-openai-with-dashscope")},
                 {AIServicePreset::Kind::ollama, QStringLiteral("/api/openai-compatibility")},
                 {AIServicePreset::Kind::custom, std::nullopt}};
    for (const auto& link : links) {
        const std::optional<QUrl> url = documentationLink(link.preset);
        EXPECT_EQ(url ? std::optional(url->path()) : std::nullopt, link.path);
    }
    EXPECT_TRUE(documentationLink(AIServicePreset::Kind::deepSeek));
    for (const AppearanceChoice& choice : appearanceChoices())
        EXPECT_TRUE(LVSymbol(choice.symbol).isRegistered()) << choice.value.toStdString();
    EXPECT_EQ(historyCountText(12345), QStringLiteral("已保存 12345 条记录"));
}

TEST(SoftwareUpdateTexts, VersionsAndUpdateTexts) {
    const struct {
        BundleVersion version;
        QString text;
    } versions[] = {
        {{QStringLiteral("1.0"), QStringLiteral("1")}, "1.0（1）"},
        {{}, "—"},
        {{std::nullopt, QStringLiteral("7")}, "—（7）"},
        {{QStringLiteral("1.2"), std::nullopt}, "1.2"},
    };
    for (const auto& v : versions)
        EXPECT_EQ(v.version.text(), v.text);
    using namespace SoftwareUpdateTexts;
    const QString version = QStringLiteral("1.1.1");
    EXPECT_EQ(bannerText(version, true), QStringLiteral("1.1.1 已准备好，重启岚栖即可完成更新。"));
    EXPECT_EQ(bannerText(version, false), QStringLiteral("岚栖 1.1.1 已发布，可查看更新内容。"));
    EXPECT_EQ(reminderText(version, true), QStringLiteral("1.1.1 已准备好，查看更新"));
    EXPECT_EQ(reminderText(version, false), QStringLiteral("有新版本 1.1.1"));
    EXPECT_EQ(bannerText(std::nullopt, true), QString());
    EXPECT_EQ(stateLine(QStringLiteral("正在检查更新…"), QStringLiteral("更新未完成\n原因")),
              (StateLine{QStringLiteral("更新未完成\n原因"), true}));
    EXPECT_EQ(stateLine(QStringLiteral("正在检查更新…"), std::nullopt),
              (StateLine{QStringLiteral("正在检查更新…"), false}));
    EXPECT_EQ(lastCheckText(QDateTime(QDate(2026, 3, 4), QTime(9, 5, 59))),
              QStringLiteral("上次检查：2026年3月4日 09:05"));
    EXPECT_EQ(downloadPage().scheme(), QStringLiteral("https"));
    EXPECT_EQ(downloadPage().path(), QStringLiteral("/lunorvale/"));
    EXPECT_TRUE(LVSymbol(buttonSymbol(version)).isRegistered());
    EXPECT_TRUE(LVSymbol(buttonSymbol(std::nullopt)).isRegistered());
}
