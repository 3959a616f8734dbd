#pragma once

#include "core/monitoring/Finding.h"

#include <QWidget>

namespace lunorvale {

class LVButton;
class LVDisclosure;
class LVLabel;
class LVText;
class MainView;
class ProcessAdviceView;
class TaskMetric;

// The overview's large card for the primary finding: what the process is, what to do, the evidence
// (collapsed at first) and four actions: inspect, details, ask to quit, mute for an hour.
class PriorityTaskCard final : public QWidget {
    Q_OBJECT
public:
    explicit PriorityTaskCard(MainView& view, QWidget* parent = nullptr);

    // Shows `finding`, updating every part in place; the evidence stays as the user left it.
    void setFinding(const Finding& finding);
    // Closes the evidence section (the card was hidden or the overview left).
    void collapseEvidence();

    // The finding shown.
    const Finding& finding() const { return m_finding; }
    LVDisclosure* evidence() const { return m_evidence; }
    LVButton* inspectButton() const { return m_inspect; }
    LVButton* detailsButton() const { return m_details; }
    LVButton* stopButton() const { return m_stop; }
    LVButton* muteButton() const { return m_mute; }
    LVText* titleText() const { return m_title; }

private:
    MainView& m_view;
    Finding m_finding;
    LVText* m_title;
    LVText* m_subtitle;
    ProcessAdviceView* m_advice;
    LVDisclosure* m_evidence;
    TaskMetric* m_cpu;
    TaskMetric* m_observed;
    TaskMetric* m_running;
    LVText* m_threshold;
    LVLabel* m_name;
    LVLabel* m_memory;
    LVText* m_pid;
    LVButton* m_inspect;
    LVButton* m_details;
    LVButton* m_stop;
    LVButton* m_mute;
    LVText* m_footnote;
};

} // namespace lunorvale
