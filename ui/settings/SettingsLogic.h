#pragma once

#include "app/advice/AISettingsDraft.h"
#include "app/advice/AIStatus.h"
#include "core/ai/AIKeyStatus.h"
#include "core/monitoring/MonitorSettings.h"
#include "ui/kit/AIStatusButton.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <array>
#include <optional>

namespace lunorvale {

// The settings page's sections, in the order of its picker.
enum class SettingsSection { rules, notifications, ai, appearance, updates };

// What the settings page shows and decides, as plain functions of the model's values and the page's
// own edits: nothing here touches a widget, the model or a store.
namespace SettingsLogic {

inline constexpr std::array<SettingsSection, 5> sections = {
    SettingsSection::rules, SettingsSection::notifications, SettingsSection::ai, SettingsSection::appearance,
    SettingsSection::updates};
// The picker's segment title, "观察规则" … "软件更新".
QString title(SettingsSection section);
// The section a page opens at: the AI section while an AI request stands, else the section a screenshot
// name (compared exactly) asks for, else the rules.
SettingsSection firstSection(const std::optional<QString>& previewSection, bool aiNavigationRequest);

// --- Observation rules ---

const QList<double>& intervalOptions();
const QList<double>& durationOptions();
// "45 秒": whole seconds, the fraction dropped.
QString intervalLabel(double seconds);
// "1 分钟", "1.0 小时".
QString durationLabel(double seconds);
// The threshold field's text for a stored threshold: printf's "%g" (90 → "90", 12.5 → "12.5").
QString thresholdText(double threshold);
// The whole text as one number in the C locale's syntax (sign, decimals, exponent, hexadecimal, inf,
// nan), whatever the user's locale; a blank before or after it, or anything else, is no number.
std::optional<double> parseNumber(const QString& text);
// The one sentence that keeps the rules from being saved (the threshold is checked first).
std::optional<QString> rulesValidationError(double interval, const QString& threshold, double duration);
// The edits differ from the rules in force (each compared with its clamped reading; the threshold
// text untrimmed, so " 150 " always counts as changed).
bool rulesChanged(double interval, const QString& threshold, double duration, const MonitorSettings& saved);
// The rules a save hands to the model, keeping the stored reminders flag; absent while invalid.
std::optional<MonitorSettings> rulesToSave(double interval, const QString& threshold, double duration,
                                           bool notificationsEnabled);
// Reminders switched off: the rules in force, each clamped as the model itself reads them, so that a
// hand-edited value out of range cannot keep reminders on.
MonitorSettings remindersOff(const MonitorSettings& stored);

// --- AI service ---

// The kit's tone of an AI state's tone.
StatusTone statusTone(AIStatus::Tone tone);
// The AI state as the status capsule shows it (status strip, menu, placeholder pages).
StatusCapsule statusCapsule(const AIStatus& status);

struct Badge {
    QString title;
    QString symbol;
    AIStatus::Tone tone = AIStatus::Tone::muted;
    friend bool operator==(const Badge&, const Badge&) = default;
};

// The AI form beside what the model holds. `key` is the key status as last read (it is read only at
// the moments the page asks for it).
struct AIForm {
    AIConfiguration savedConfiguration;
    bool savedPreference = false;
    bool automaticEnabled = false;
    AIKeyStatus key = AIKeyStatus::missing;
    bool isMonitoring = true;
    AISettingsDraft draft{AIConfiguration{}};
    bool automaticAdvice = false;

    // The saved, effective state.
    AIStatus status() const;
    // The typed address and model, trimmed.
    AIConfiguration draftConfiguration() const;
    bool configurationChanged() const;
    bool automaticAdviceChanged() const;
    // A save would store something: another configuration, a typed key or another automatic-advice
    // choice (also one not in force for a configured service). An untouched form has nothing to save.
    bool hasUnsavedChanges() const;
    // The same, but the automatic-advice choice compared with the saved preference only.
    bool draftChanged() const;

    QString keyStatus() const;
    Badge badge() const;
    QString headingDetail() const;
    QString saveTitle() const;
    bool showsReadKey() const;
    bool showsRemoveKey() const;
    // What the model menu shows: "" (the "自定义" entry) for a custom model.
    QString modelMenuValue() const;
    QString modelHint() const;
};

// The model menu's entries ("" last, for "自定义") and their labels; empty for a preset without models.
QStringList modelOptions(AIServicePreset preset);
QString modelLabel(const QString& option);
// The sentence that keeps a form from being saved (address, then model), before the model is asked.
std::optional<QString> aiSaveError(const AIConfiguration& draftConfiguration);

// The effective-state block of the side panel.
struct StatusBlock {
    QString headline;
    AIStatus::Tone tone = AIStatus::Tone::muted;
    QString serviceLine;
    std::array<std::pair<QString, QString>, 3> rows;
    QString sentence;
    std::optional<QString> keyButton; // "授权读取密钥" or "重试读取密钥"
    bool showsSaveFirst = false;      // the amber line under the key button
    bool showsNote = false;
    friend bool operator==(const StatusBlock&, const StatusBlock&) = default;
};
StatusBlock statusBlock(const AIStatus& status, bool hasUnsavedChanges);

// --- Side panel ---

struct SectionContext {
    QString symbol;
    QString title;
    QString text;
};
// For every section but the AI one.
SectionContext context(SettingsSection section);
// The documentation link of a preset; absent for the custom service.
std::optional<QUrl> documentationLink(AIServicePreset preset);

// --- Appearance ---

struct AppearanceChoice {
    QString label;
    QString value;
    QString symbol;
};
const std::array<AppearanceChoice, 3>& appearanceChoices();
QString historyCountText(qsizetype count);

} // namespace SettingsLogic
} // namespace lunorvale
