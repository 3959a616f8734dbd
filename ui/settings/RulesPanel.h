#pragma once

#include <QWidget>

class QLineEdit;

namespace lunorvale {

class ChoiceMenu;
class LVButton;
class LVLabel;
class SettingsView;

// The observation rules: interval, CPU threshold and duration, checked as they are typed or chosen,
// saved only when valid and changed, or put back to the defaults after a confirmation.
class RulesPanel final : public QWidget {
    Q_OBJECT
public:
    RulesPanel(SettingsView& view, QWidget* parent);
    void refresh();

    ChoiceMenu* intervalMenu() const { return m_interval; }
    QLineEdit* thresholdField() const { return m_threshold; }
    ChoiceMenu* durationMenu() const { return m_duration; }
    LVButton* restoreButton() const { return m_restore; }
    LVButton* saveButton() const { return m_save; }

private:
    SettingsView& m_view;
    ChoiceMenu* m_interval;
    QLineEdit* m_threshold;
    ChoiceMenu* m_duration;
    LVLabel* m_validation;
    LVButton* m_restore;
    LVButton* m_save;
};

} // namespace lunorvale
