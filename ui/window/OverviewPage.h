#pragma once

#include "core/monitoring/Finding.h"
#include "ui/window/OverviewLogic.h"

#include <QHash>
#include <QList>
#include <QWidget>

class QHBoxLayout;
class QScrollArea;

namespace lunorvale {

class LVButton;
class LVEmptyState;
class LVPlainButton;
class LVRule;
class LVText;
class MainView;
class PriorityTaskCard;
class ProcessRowButton;
class ResourceOverviewStrip;

// The first page: the machine summary, a chip per flagged process when there are several, the priority
// card of the primary finding beside the next steps (or a resting panel that explains the state), and
// the busiest other processes. Refreshes with the window while on screen; when the window shows another
// page or the help, the evidence closes.
class OverviewPage final : public QWidget {
    Q_OBJECT
public:
    explicit OverviewPage(MainView& view, QWidget* parent = nullptr);

    // Applies the model and the window's state now, while shown (normally once per pass of the event
    // loop, and on showing).
    void refresh();

    QScrollArea* scrollArea() const { return m_scroll; }
    ResourceOverviewStrip* strip() const { return m_strip; }
    QList<LVButton*> chips() const;
    // The row the chips scroll in, without a bar.
    QScrollArea* chipRow() const { return m_chipRow; }
    PriorityTaskCard* priorityCard() const { return m_card; }
    QWidget* restingPanel() const { return m_resting; }
    LVEmptyState* restingState() const { return m_restingState; }
    LVButton* restingButton() const { return m_restingButton; }
    LVButton* reminderButton() const { return m_reminderButton; }
    LVPlainButton* allProcessesLink() const { return m_allProcesses; }
    // The shown rows of the top list.
    QList<ProcessRowButton*> topRows() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class NextSteps;
    void refreshChips(const Finding* primary);
    void fitChips();
    void refreshResting();
    void refreshTopList(const Finding* primary);

    MainView& m_view;
    bool m_onScreen; // the window's state shows the overview
    QScrollArea* m_scroll;
    ResourceOverviewStrip* m_strip;
    QScrollArea* m_chipRow;
    QHBoxLayout* m_chipLayout;
    // The chips' order and the primary finding as last shown: they stay put across samples.
    OverviewLogic::FindingOrder m_order;
    QList<QString> m_chipKeys;
    QHash<QString, LVButton*> m_chips;
    QWidget* m_priorityRow;
    PriorityTaskCard* m_card;
    NextSteps* m_nextSteps;
    QWidget* m_resting;
    LVEmptyState* m_restingState;
    LVButton* m_restingButton;
    LVButton* m_reminderButton;
    int m_restingAction = 0;
    LVText* m_topTitle;
    LVPlainButton* m_allProcesses;
    QList<ProcessRowButton*> m_rows;
    QList<LVRule*> m_dividers;
    LVText* m_topEmpty;
};

} // namespace lunorvale
