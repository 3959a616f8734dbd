#include "ui/settings/SettingsLogic.h"

#include "core/ai/AIChatExchange.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"
#include "core/monitoring/DisplayFormat.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace lunorvale::SettingsLogic {

namespace {

// The one "C" locale object every parse uses; never freed, like the process's own locales.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

QString title(SettingsSection section) {
    switch (section) {
    case SettingsSection::rules:
        return QStringLiteral("观察规则");
    case SettingsSection::notifications:
        return QStringLiteral("提醒与启动");
    case SettingsSection::ai:
        return QStringLiteral("AI 服务");
    case SettingsSection::appearance:
        return QStringLiteral("外观与数据");
    case SettingsSection::updates:
        return QStringLiteral("软件更新");
    }
    return {};
}

SettingsSection firstSection(const std::optional<QString>& previewSection, bool aiNavigationRequest) {
    if (aiNavigationRequest)
        return SettingsSection::ai;
    if (!previewSection)
        return SettingsSection::rules;
    const QString& id = *previewSection;
    static const QStringList notifications{QStringLiteral("notifications"), QStringLiteral("提醒与启动")};
    static const QStringList ai{QStringLiteral("ai"),
                                QStringLiteral("ai-auto"),
                                QStringLiteral("ai-aliyun"),
                                QStringLiteral("ai-custom"),
                                QStringLiteral("ai-authorize"),
                                QStringLiteral("ai-manual"),
                                QStringLiteral("ai-unconfigured"),
                                QStringLiteral("ai-missing"),
                                QStringLiteral("ai-saved"),
                                QStringLiteral("AI 服务")};
    static const QStringList appearance{QStringLiteral("appearance"), QStringLiteral("外观与数据")};
    static const QStringList updates{QStringLiteral("updates"), QStringLiteral("软件更新")};
    if (notifications.contains(id))
        return SettingsSection::notifications;
    if (ai.contains(id))
        return SettingsSection::ai;
    if (appearance.contains(id))
        return SettingsSection::appearance;
    if (updates.contains(id))
        return SettingsSection::updates;
    return SettingsSection::rules;
}

const QList<double>& intervalOptions() {
    static const QList<double> options{5, 15, 30, 60, 120};
    return options;
}

const QList<double>& durationOptions() {
    static const QList<double> options{30, 60, 120, 300, 600, 900, 1800, 3600};
    return options;
}

QString intervalLabel(double seconds) {
    return QString::number(static_cast<qint64>(std::trunc(seconds))) + QStringLiteral(" 秒");
}

QString durationLabel(double seconds) {
    return DisplayFormat::duration(seconds);
}

QString thresholdText(double threshold) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, threshold, std::chars_format::general, 6);
    if (error != std::errc())
        return {};
    return QString::fromLatin1(buffer, end - buffer);
}

std::optional<double> parseNumber(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    // strtod skips leading blanks and stops at a NUL: neither is part of a number here.
    if (bytes.isEmpty() || isCSpace(bytes.front()) || bytes.contains('\0'))
        return std::nullopt;
    char* end = nullptr;
    const double value = strtod_l(bytes.constData(), &end, cLocale());
    if (end != bytes.constData() + bytes.size())
        return std::nullopt;
    return value;
}

std::optional<QString> rulesValidationError(double interval, const QString& threshold, double duration) {
    const std::optional<double> number = parseNumber(AIText::trimmed(threshold));
    const RuleLimits& thresholds = MonitorSettings::thresholdLimits;
    const RuleLimits& intervals = MonitorSettings::intervalLimits;
    const RuleLimits& durations = MonitorSettings::durationLimits;
    if (!number || !thresholds.admits(*number))
        return QStringLiteral("CPU 阈值需填写 ") + thresholds.rangeText() + QStringLiteral(" 之间的数值。");
    if (!intervals.admits(interval) || !durations.admits(duration))
        return QStringLiteral("采样间隔需为 ") + intervals.rangeText() +
               QStringLiteral(" 秒，持续时间需为 ") + durations.rangeText() + QStringLiteral(" 秒。");
    return std::nullopt;
}

bool rulesChanged(double interval, const QString& threshold, double duration, const MonitorSettings& saved) {
    if (interval != saved.safeInterval())
        return true;
    const std::optional<double> number = parseNumber(threshold);
    if (!number || *number != saved.safeThreshold())
        return true;
    return duration != saved.safeDuration();
}

std::optional<MonitorSettings> rulesToSave(double interval, const QString& threshold, double duration,
                                           bool notificationsEnabled) {
    if (rulesValidationError(interval, threshold, duration))
        return std::nullopt;
    const std::optional<double> number = parseNumber(AIText::trimmed(threshold));
    if (!number)
        return std::nullopt;
    return MonitorSettings{interval, *number, duration, notificationsEnabled};
}

MonitorSettings remindersOff(const MonitorSettings& stored) {
    return MonitorSettings{stored.safeInterval(), stored.safeThreshold(), stored.safeDuration(), false};
}

StatusTone statusTone(AIStatus::Tone tone) {
    switch (tone) {
    case AIStatus::Tone::muted:
        return StatusTone::muted;
    case AIStatus::Tone::amber:
        return StatusTone::amber;
    case AIStatus::Tone::success:
        return StatusTone::success;
    }
    return StatusTone::muted;
}

StatusCapsule statusCapsule(const AIStatus& status) {
    return {status.shortTitle(), status.symbol(), statusTone(status.tone()), status.toolTip(),
            status.accessibleName()};
}

AIStatus AIForm::status() const {
    return AIStatus(savedConfiguration, key, automaticEnabled, isMonitoring);
}

AIConfiguration AIForm::draftConfiguration() const {
    return AIConfiguration{AIText::trimmed(draft.configuration.baseURL),
                           AIText::trimmed(draft.configuration.model)};
}

bool AIForm::configurationChanged() const {
    return draftConfiguration() != savedConfiguration;
}

bool AIForm::automaticAdviceChanged() const {
    if (automaticAdvice != savedPreference)
        return true;
    // Chosen but not in force: a save would authorise the saved service, so there is something to save,
    // unless no service is configured yet (a first run), which a save would refuse.
    return automaticAdvice && !automaticEnabled && status().state != AIStatus::State::unconfigured;
}

bool AIForm::hasUnsavedChanges() const {
    return configurationChanged() || !draft.apiKey.isEmpty() || automaticAdviceChanged();
}

bool AIForm::draftChanged() const {
    return configurationChanged() || !draft.apiKey.isEmpty() || automaticAdvice != savedPreference;
}

QString AIForm::keyStatus() const {
    if (configurationChanged())
        return QStringLiteral("保存时，密钥将仅关联上方填写的服务地址。");
    return status().keyLabel();
}

Badge AIForm::badge() const {
    const AIStatus current = status();
    if (draftChanged())
        return {current.state == AIStatus::State::unconfigured ? QStringLiteral("待保存")
                                                               : QStringLiteral("修改未保存"),
                QStringLiteral("pencil.circle.fill"), AIStatus::Tone::amber};
    switch (current.state) {
    case AIStatus::State::unconfigured:
        return {QStringLiteral("未配置"), QStringLiteral("circle.dashed"), AIStatus::Tone::muted};
    case AIStatus::State::missingKey:
        return {QStringLiteral("待补充密钥"), QStringLiteral("exclamationmark.circle.fill"),
                AIStatus::Tone::amber};
    case AIStatus::State::needsAuthorization:
        return {QStringLiteral("已配置 · 待授权"), QStringLiteral("lock.fill"), AIStatus::Tone::amber};
    case AIStatus::State::keyUnavailable:
        return {QStringLiteral("密钥暂不可用"), QStringLiteral("exclamationmark.circle.fill"),
                AIStatus::Tone::amber};
    case AIStatus::State::noKeyring:
        return {QStringLiteral("没有找到密钥环"), QStringLiteral("exclamationmark.circle.fill"),
                AIStatus::Tone::amber};
    case AIStatus::State::automatic:
    case AIStatus::State::manual:
        break;
    }
    return {QStringLiteral("已配置"), QStringLiteral("checkmark.circle.fill"), AIStatus::Tone::success};
}

QString AIForm::headingDetail() const {
    const AIStatus current = status();
    const bool unconfigured = current.state == AIStatus::State::unconfigured;
    if (draftChanged())
        return unconfigured ? QStringLiteral("填写的配置尚未保存，保存后生效。")
                            : QStringLiteral("修改尚未保存，当前仍使用已保存的配置。");
    return unconfigured ? QStringLiteral("选择服务与模型，填写所需密钥后保存。") : current.explanation();
}

QString AIForm::saveTitle() const {
    if (!hasUnsavedChanges())
        return QStringLiteral("已保存");
    return automaticAdvice ? QStringLiteral("保存并启用自动建议") : QStringLiteral("保存 AI 设置");
}

bool AIForm::showsReadKey() const {
    return key == AIKeyStatus::saved && !configurationChanged();
}

bool AIForm::showsRemoveKey() const {
    const bool stored = key == AIKeyStatus::saved || key == AIKeyStatus::available ||
                        key == AIKeyStatus::authorizationRequired;
    return stored && !configurationChanged();
}

QString AIForm::modelMenuValue() const {
    return draft.usesCustomModel ? QString() : AIText::trimmed(draft.configuration.model);
}

QString AIForm::modelHint() const {
    return draft.service.kind() == AIServicePreset::Kind::ollama
               ? QStringLiteral("填写本机已安装的模型名。")
               : QStringLiteral("可以直接编辑，具体可用模型以服务商账户为准。");
}

QStringList modelOptions(AIServicePreset preset) {
    QStringList options = preset.models();
    if (!options.isEmpty())
        options.append(QString());
    return options;
}

QString modelLabel(const QString& option) {
    return option.isEmpty() ? QStringLiteral("自定义") : option;
}

std::optional<QString> aiSaveError(const AIConfiguration& draftConfiguration) {
    try {
        draftConfiguration.validatedBaseURL();
    } catch (const AIServiceError& error) {
        return error.errorDescription();
    }
    if (draftConfiguration.model.isEmpty() ||
        AIText::characterCount(draftConfiguration.model) > AIChatExchange::maximumModelCharacters)
        return AIServiceError(AIServiceError::Kind::missingModel).errorDescription();
    return std::nullopt;
}

StatusBlock statusBlock(const AIStatus& status, bool hasUnsavedChanges) {
    using State = AIStatus::State;
    StatusBlock block;
    block.headline = status.longTitle();
    block.tone = status.tone();
    block.serviceLine = status.serviceLabel();
    block.rows = {
        {{QStringLiteral("服务配置"),
          status.state == State::unconfigured ? QStringLiteral("待完善") : QStringLiteral("已保存")},
         {QStringLiteral("密钥"), status.keyLabel()},
         {QStringLiteral("自动建议"),
          status.automaticEnabled ? QStringLiteral("已开启") : QStringLiteral("未开启")}}};
    block.sentence = status.explanation();
    if (status.state == State::needsAuthorization)
        block.keyButton = QStringLiteral("授权读取密钥");
    else if (status.state == State::keyUnavailable)
        block.keyButton = QStringLiteral("重试读取密钥");
    else if (status.state == State::noKeyring)
        block.keyButton = QStringLiteral("重新查找密钥环");
    block.showsSaveFirst = block.keyButton && hasUnsavedChanges;
    block.showsNote = status.state == State::automatic || status.state == State::manual;
    return block;
}

SectionContext context(SettingsSection section) {
    switch (section) {
    case SettingsSection::rules:
        return {QStringLiteral("eye"), QStringLiteral("高占用是一条线索"),
                QStringLiteral("编译、测试或视频处理可能长时间使用 CPU。\n\n"
                               "提醒出现后，先看任务来源和进度，再决定是否退出。")};
    case SettingsSection::notifications:
        return {QStringLiteral("menubar.rectangle"), QStringLiteral("关闭窗口，继续观察"),
                QStringLiteral("关闭主窗口后，岚栖仍在系统托盘运行。\n\n"
                               "可在系统托盘暂停观察；选择“退出岚栖”会完全结束应用。\n\n"
                               "桌面的勿扰模式可能暂时隐藏通知。")};
    case SettingsSection::appearance:
        return {QStringLiteral("externaldrive"), QStringLiteral("数据留在本机"),
                QStringLiteral("观察设置和事件记录保存在这台电脑。密钥保存在系统密钥环。\n\n"
                               "清空记录后，新的提醒与操作仍会继续记录。")};
    case SettingsSection::updates:
        return {QStringLiteral("arrow.down.circle"), QStringLiteral("更新不依赖通知权限"),
                QStringLiteral("有新版本时，系统托盘和岚栖窗口会显示更新入口，不依赖系统通知权限。\n\n"
                               "检查更新会连接官网，不会发送进程信息、操作记录或 AI 密钥。\n\n"
                               "请先将岚栖放到当前用户可写的文件夹，再进行更新。")};
    case SettingsSection::ai:
        break;
    }
    return {};
}

std::optional<QUrl> documentationLink(AIServicePreset preset) {
    const std::optional<QUrl> url = preset.documentationURL();
    if (!url || !url->isValid() || url->scheme() != QLatin1String("https"))
        return std::nullopt;
    return url;
}

const std::array<AppearanceChoice, 3>& appearanceChoices() {
    static const std::array<AppearanceChoice, 3> choices{
        {{QStringLiteral("跟随系统"), QStringLiteral("system"), QStringLiteral("desktopcomputer")},
         {QStringLiteral("银白浅色"), QStringLiteral("light"), QStringLiteral("sun.max")},
         {QStringLiteral("石墨深色"), QStringLiteral("dark"), QStringLiteral("moon")}}};
    return choices;
}

QString historyCountText(qsizetype count) {
    return QStringLiteral("已保存 ") + QString::number(count) + QStringLiteral(" 条记录");
}

} // namespace lunorvale::SettingsLogic
