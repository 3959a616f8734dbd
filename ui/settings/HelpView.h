#pragma once

#include "ui/settings/SoftwareUpdateLogic.h"

#include "ui/settings/SettingsSheets.h"

#include <QPointer>
#include <QWidget>

namespace lunorvale {

class AppModel;
class LVButton;
class LVText;
class SoftwareUpdateButton;

// The help page: the way from a reminder to an action, what the numbers mean and what to do when
// something does not work, beside a product card with the version, the onboarding sheet again, the
// privacy statement and the update button. Every text but the version is fixed.
class HelpView final : public QWidget {
    Q_OBJECT
public:
    explicit HelpView(AppModel& model, const BundleVersion& version = BundleVersion::current(),
                      QWidget* parent = nullptr);

    LVText* versionLine() const { return m_version; }
    LVButton* welcomeButton() const { return m_welcome; }
    LVButton* privacyButton() const { return m_privacy; }
    SoftwareUpdateButton* updateButton() const { return m_update; }
    SheetDialog* welcomeSheet() const { return m_welcomeSheet; }
    SheetDialog* privacySheet() const { return m_privacySheet; }

private:
    AppModel& m_model;
    LVText* m_version;
    LVButton* m_welcome;
    LVButton* m_privacy;
    SoftwareUpdateButton* m_update;
    QPointer<SheetDialog> m_welcomeSheet;
    QPointer<SheetDialog> m_privacySheet;
};

} // namespace lunorvale
