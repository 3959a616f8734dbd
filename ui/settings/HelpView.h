#pragma once

#include "ui/settings/SoftwareUpdateLogic.h"

#include "ui/settings/SettingsSheets.h"

#include <QPointer>
#include <QWidget>

namespace lunorvale {

class AppModel;
class LVButton;
class LVText;

// The help page: the way from a reminder to an action, what the numbers mean and what to do when
// something does not work, beside a product card with the version, the onboarding sheet again, the
// privacy statement and the update button. Every text but the version is fixed.
class HelpView final : public QWidget {
    Q_OBJECT
public:
    explicit HelpView(AppModel& model, const BundleVersion& version = BundleVersion::current(),
                      QWidget* parent = nullptr);

    LVButton* privacyButton() const { return m_privacy; }
    SheetDialog* welcomeSheet() const { return m_welcomeSheet; }

private:
    AppModel& m_model;
    LVText* m_version;
    LVButton* m_welcome;
    LVButton* m_privacy;
    QPointer<SheetDialog> m_welcomeSheet;
    QPointer<SheetDialog> m_privacySheet;
};

} // namespace lunorvale
