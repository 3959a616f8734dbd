#include "ui/settings/RulesPanel.h"

#include "app/model/AppModel.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVLabel.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SettingsView.h"

#include <QHBoxLayout>
#include <QLineEdit>

namespace lunorvale {

namespace {

// A rule menu: the row title is its accessible name, its face text its value; 140 wide whatever it
// shows.
ChoiceMenu* ruleMenu(const QString& title, QWidget* parent) {
    auto* menu = new ChoiceMenu(parent);
    menu->setAccessibleName(title);
    menu->setFixedWidth(140);
    return menu;
}

void showChoices(ChoiceMenu* menu, const QList<double>& options, double current, QString (*label)(double)) {
    QStringList items;
    for (const double option : options)
        items.append(label(option));
    menu->setChoices(items, static_cast<int>(options.indexOf(current)), label(current));
}

} // namespace

RulesPanel::RulesPanel(SettingsView& view, QWidget* parent) : QWidget(parent), m_view(view) {
    QVBoxLayout* column = panelCard(this, 23);
    QWidget* host = column->parentWidget();
    column->addWidget(new SectionHeading(QStringLiteral("只提醒持续的高占用"),
                                         QStringLiteral("短时忙碌很常见。用持续时间筛选真正值得查看的任务。"),
                                         LVSymbol("waveform.path.ecg"), host));

    m_interval = ruleMenu(QStringLiteral("采样间隔"), host);
    column->addWidget(
        settingRow(QStringLiteral("采样间隔"), QStringLiteral("间隔越短，越快发现变化。"), m_interval, host));
    column->addWidget(new LVRule({}, 1.0, host));

    auto* threshold = new QWidget(host);
    auto* thresholdRow = new QHBoxLayout(threshold);
    thresholdRow->setContentsMargins(0, 0, 0, 0);
    thresholdRow->setSpacing(8);
    m_threshold = settingsField(QStringLiteral("CPU 提醒阈值，百分比"),
                                MonitorSettings::thresholdLimits.rangeText(), threshold);
    m_threshold->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_threshold->setFixedWidth(88);
    thresholdRow->addWidget(m_threshold);
    thresholdRow->addWidget(new LVText(QStringLiteral("%"), Fonts::system(13), Palette::muted, threshold));
    column->addWidget(settingRow(QStringLiteral("CPU 提醒阈值"),
                                 QStringLiteral("单进程 100% 约等于占用一个逻辑核心。"), threshold, host));

    m_duration = ruleMenu(QStringLiteral("连续达到阈值"), host);
    column->addWidget(settingRow(QStringLiteral("连续达到阈值"),
                                 QStringLiteral("按实际采样累计，不使用进程总运行时间。"), m_duration, host));

    m_validation =
        new LVLabel(LVSymbol("exclamationmark.circle"), {}, Fonts::system(11), Palette::danger, host);
    column->addWidget(m_validation);

    column->addWidget(noteCard(
        QStringLiteral("保存后会重新建立观察基线。睡眠、暂停观察或任务重新启动，也会重新累计持续时间。")));

    auto* buttons = new QHBoxLayout;
    m_restore = settingsButton(LVButtonKind::lunor, QStringLiteral("恢复默认"), host);
    m_save = settingsButton(LVButtonKind::primary, QStringLiteral("保存观察规则"), host);
    buttons->addWidget(m_restore);
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    column->addLayout(buttons);

    connect(m_interval, &ChoiceMenu::chosen, this,
            [this](int index) { m_view.setInterval(SettingsLogic::intervalOptions().value(index)); });
    connect(m_duration, &ChoiceMenu::chosen, this,
            [this](int index) { m_view.setDuration(SettingsLogic::durationOptions().value(index)); });
    connect(m_threshold, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_view.setThreshold(text); });
    connect(m_restore, &QAbstractButton::clicked, this, [this] { m_view.restoreDefaultRules(); });
    connect(m_save, &QAbstractButton::clicked, this, [this] { m_view.saveRules(); });
}

void RulesPanel::refresh() {
    const SettingsEdits& edits = m_view.edits();
    showChoices(m_interval, SettingsLogic::intervalOptions(), edits.interval, &SettingsLogic::intervalLabel);
    showChoices(m_duration, SettingsLogic::durationOptions(), edits.duration, &SettingsLogic::durationLabel);
    // Only a change from elsewhere (defaults, a new visit) rewrites the field: typing keeps its cursor.
    if (m_threshold->text() != edits.threshold)
        m_threshold->setText(edits.threshold);
    const auto error = SettingsLogic::rulesValidationError(edits.interval, edits.threshold, edits.duration);
    m_validation->setText(error.value_or(QString()));
    m_validation->setVisible(error.has_value());
    const bool preview = m_view.isPreview();
    m_restore->setEnabled(!preview);
    m_save->setEnabled(!preview && !error &&
                       SettingsLogic::rulesChanged(edits.interval, edits.threshold, edits.duration,
                                                   m_view.model().settings()));
}

} // namespace lunorvale
