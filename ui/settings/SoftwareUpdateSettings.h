#pragma once

#include "ui/settings/SoftwareUpdateLogic.h"

#include <QWidget>
#include <functional>

namespace lunorvale {

class LVPlainButton;
class LVSelectableText;
class LVText;
class SettingsSwitch;
class SoftwareUpdateButton;
class SoftwareUpdater;

// The updates section of the settings page: the version, the update button, the state line, the last
// check, the two automatic-update switches and the download page. The switches show the updater's
// values and write the update layer's own preferences, only once the updater has started.
class SoftwareUpdateSettings final : public QWidget {
    Q_OBJECT
public:
    explicit SoftwareUpdateSettings(SoftwareUpdater* updater, QWidget* parent = nullptr);

    void setVersion(const BundleVersion& version);
    // The download link's action (the page opens it, outside preview mode).
    void setOpenDownloadPage(std::function<void()> open);

    SoftwareUpdateButton* button() const { return m_button; }
    LVSelectableText* stateLine() const { return m_state; }
    SettingsSwitch* automaticChecks() const { return m_checks; }
    SettingsSwitch* automaticInstalls() const { return m_installs; }

private:
    void refresh();
    void write(bool checks, bool on);

    SoftwareUpdater* m_updater;
    std::function<void()> m_openDownloadPage;
    LVText* m_version;
    SoftwareUpdateButton* m_button;
    LVSelectableText* m_state;
    LVText* m_lastCheck;
    SettingsSwitch* m_checks;
    SettingsSwitch* m_installs;
    LVPlainButton* m_link;
};

} // namespace lunorvale
