#pragma once

#include "core/monitoring/ProcessSample.h"

#include <QWidget>

namespace lunorvale {

class AppModel;
class LVButton;
class LVDisclosure;
class LVText;
class MainView;
class ProcessAdviceView;

// Mutes the process's task, or lifts its mute: what the detail pane's mute and this section's do.
void toggleMute(AppModel& model, const ProcessSample& sample);

// The advice block of the detail pane: the shared advice panel, the next step the local advice names,
// and, for a process under high CPU load, the AI group from which a short AI judgement is asked for
// (through the window), followed, cancelled or repaired. Sends nothing itself.
class ProcessAISection final : public QWidget {
    Q_OBJECT
public:
    explicit ProcessAISection(MainView& view, QWidget* parent = nullptr);

    // Shows the process as the model has it now.
    void setSample(const ProcessSample& sample);
    void refresh();

    LVButton* inspectButton() const { return m_inspect; }
    LVButton* muteButton() const { return m_mute; }
    LVDisclosure* aiGroup() const { return m_group; }
    QWidget* busyRow() const { return m_busyRow; }
    LVText* busyText() const { return m_busyText; }
    LVButton* cancelButton() const { return m_cancel; }
    LVButton* requestButton() const { return m_request; }
    QWidget* errorRow() const { return m_errorRow; }
    LVButton* settingsButton() const { return m_settings; }

private:
    MainView& m_view;
    ProcessSample m_sample;
    ProcessAdviceView* m_advice;
    LVButton* m_inspect;
    LVButton* m_mute;
    LVButton* m_refresh;
    LVDisclosure* m_group;
    QWidget* m_busyRow;
    LVText* m_busyText;
    LVButton* m_cancel;
    LVText* m_status;
    LVButton* m_request;
    QWidget* m_errorRow;
    LVText* m_error;
    LVButton* m_settings;
};

} // namespace lunorvale
