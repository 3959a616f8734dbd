#pragma once

#include "ui/settings/SettingsSheets.h"

#include <QPointer>
#include <QWidget>
#include <functional>

namespace lunorvale {

class AppModel;
class LVButton;
class LVText;

// The first-run sheet: what the program does in three steps, reminders to turn on right there, the
// privacy statement, and "开始使用", which ends onboarding (outside preview mode) and calls
// `onComplete`. Return anywhere in it is "开始使用"; there is no way to cancel it: Escape and closing the
// window it is shown in do nothing, whoever presents it.
class WelcomeView final : public QWidget {
    Q_OBJECT
public:
    WelcomeView(AppModel& model, std::function<void()> onComplete, QWidget* parent = nullptr);

    static constexpr QSize sheetSize{710, 628};

    LVButton* reminderButton() const { return m_reminder; }
    LVText* reminderHint() const { return m_hint; }
    LVButton* privacyButton() const { return m_privacy; }
    LVButton* startButton() const { return m_start; }

    void start();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refresh();

    AppModel& m_model;
    std::function<void()> m_onComplete;
    LVButton* m_reminder;
    LVText* m_hint;
    LVButton* m_privacy;
    LVButton* m_start;
    QPointer<SheetDialog> m_privacySheet;
};

} // namespace lunorvale
