#include "ui/settings/SoftwareUpdateSettings.h"

#include "app/model/SoftwareUpdater.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVPlainButton.h"
#include "ui/kit/LVRule.h"
#include "ui/kit/LVSelectableText.h"
#include "ui/kit/LVText.h"
#include "ui/kit/SectionHeading.h"
#include "ui/settings/SettingsCards.h"
#include "ui/settings/SettingsRows.h"
#include "ui/settings/SoftwareUpdateButton.h"

#include <QHBoxLayout>

namespace lunorvale {

namespace {

// A switch with its title and hint beside it, taking the full width.
QWidget* switchRow(const QString& title, const QString& hint, SettingsSwitch* control, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(new LVText(title, Fonts::system(13, FontWeight::medium), Palette::ink, row));
    texts->addWidget(new LVText(hint, Fonts::system(11), Palette::muted, row));
    layout->addLayout(texts, 1);
    control->setParent(row);
    layout->addWidget(control, 0, Qt::AlignVCenter);
    return row;
}

} // namespace

SoftwareUpdateSettings::SoftwareUpdateSettings(SoftwareUpdater* updater, QWidget* parent)
    : QWidget(parent), m_updater(updater) {
    QVBoxLayout* column = panelCard(this, 22);
    QWidget* host = column->parentWidget();
    column->addWidget(new SectionHeading(QStringLiteral("让岚栖保持更新"),
                                         QStringLiteral("在应用内查看新版、下载安装，无需重复前往官网。"),
                                         LVSymbol("arrow.triangle.2.circlepath"), host));
    auto* versionRow = new QHBoxLayout;
    m_version = new LVText({}, Fonts::system(13, FontWeight::medium), Palette::ink, host);
    versionRow->addWidget(m_version, 1);
    m_button = new SoftwareUpdateButton(updater, LVButtonKind::primary, {}, host);
    versionRow->addWidget(m_button);
    column->addLayout(versionRow);

    auto* state = new QVBoxLayout;
    state->setSpacing(8);
    m_state = new LVSelectableText({}, Fonts::system(12), Palette::muted, host);
    state->addWidget(m_state);
    m_lastCheck = new LVText({}, Fonts::system(12), Palette::muted, host);
    state->addWidget(m_lastCheck);
    column->addLayout(state);
    column->addWidget(new LVRule({}, 1.0, host));

    m_checks = new SettingsSwitch(QStringLiteral("自动检查更新"), host);
    column->addWidget(switchRow(QStringLiteral("自动检查更新"),
                                QStringLiteral("岚栖运行时每天检查一次；关闭后仍可手动检查。"), m_checks,
                                host));
    m_installs = new SettingsSwitch(QStringLiteral("自动下载并在退出时安装"), host);
    column->addWidget(switchRow(QStringLiteral("自动下载并在退出时安装"),
                                QStringLiteral("开启后后台下载；需要系统授权时仍会提示。"), m_installs,
                                host));

    column->addWidget(
        noteCard(QStringLiteral("更新不会清除观察设置、操作记录或 AI 密钥。重启岚栖期间会短暂停止观察，"
                                "恢复后重新建立观察基线。关闭自动检查后，后续自动下载也会暂停；"
                                "已经准备好的更新仍可能在退出时安装。")));
    m_link = new LVPlainButton(QStringLiteral("访问官网下载页面"), std::nullopt, Palette::accent,
                               Fonts::system(12), host);
    m_link->setAccessibleName(QStringLiteral("访问官网下载页面"));
    column->addWidget(m_link, 0, Qt::AlignLeft);

    connect(m_checks, &SettingsSwitch::flipRequested, this, [this](bool on) { write(true, on); });
    connect(m_installs, &SettingsSwitch::flipRequested, this, [this](bool on) { write(false, on); });
    connect(m_link, &QAbstractButton::clicked, this, [this] {
        if (m_openDownloadPage)
            m_openDownloadPage();
    });
    if (updater) {
        for (const auto signal :
             {&SoftwareUpdater::statusChanged, &SoftwareUpdater::failureChanged,
              &SoftwareUpdater::lastCheckDateChanged, &SoftwareUpdater::automaticallyChecksChanged,
              &SoftwareUpdater::automaticallyInstallsChanged, &SoftwareUpdater::isStartedChanged,
              &SoftwareUpdater::controllerChanged})
            connect(updater, signal, this, &SoftwareUpdateSettings::refresh);
    }
    setVersion(BundleVersion::current());
    refresh();
}

void SoftwareUpdateSettings::setVersion(const BundleVersion& version) {
    m_version->setText(QStringLiteral("当前版本 ") + version.text());
}

void SoftwareUpdateSettings::setOpenDownloadPage(std::function<void()> open) {
    m_openDownloadPage = std::move(open);
}

void SoftwareUpdateSettings::write(bool checks, bool on) {
    // Before the update layer has started there is nothing to write to; the switch shows the updater's
    // value again. Afterwards the switch follows the layer's preference as it reports it.
    UpdaterController* controller = m_updater ? m_updater->controller() : nullptr;
    if (m_updater && m_updater->isStarted() && controller) {
        if (checks)
            controller->setAutomaticallyChecksForUpdates(on);
        else
            controller->setAutomaticallyDownloadsUpdates(on);
    }
    refresh();
}

void SoftwareUpdateSettings::refresh() {
    const QString status = m_updater ? m_updater->status() : SoftwareUpdater::initialStatus;
    const SoftwareUpdateTexts::StateLine line =
        SoftwareUpdateTexts::stateLine(status, m_updater ? m_updater->failure() : std::nullopt);
    m_state->setText(line.text);
    m_state->setColor(line.isFailure ? Palette::danger : Palette::muted);
    const std::optional<QDateTime> last = m_updater ? m_updater->lastCheckDate() : std::nullopt;
    m_lastCheck->setText(last ? SoftwareUpdateTexts::lastCheckText(*last) : QString());
    m_lastCheck->setVisible(last.has_value());
    const bool started = m_updater && m_updater->isStarted();
    const bool checks = m_updater ? m_updater->automaticallyChecks() : true;
    m_checks->setOn(checks);
    m_checks->setEnabled(started);
    m_installs->setOn(m_updater && m_updater->automaticallyInstalls());
    m_installs->setEnabled(SoftwareUpdateTexts::automaticInstallEnabled(started, checks));
}

} // namespace lunorvale
