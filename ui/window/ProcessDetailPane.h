#pragma once

#include "core/monitoring/ProcessSample.h"

#include <QWidget>

class QAction;
class QMenu;

namespace lunorvale {

class LVBadge;
class LVButton;
class LVDisclosure;
class LVPlainButton;
class LVSelectableText;
class LVText;
class MainView;
class ProcessAISection;
class ProcessGlyph;

// The selected process in full: identity, origin, advice, resource figures and the local judgement,
// the two ways to act on it (a confirmed stop, a mute), its command and executable. Made once and
// given each process in turn, so its groups keep their open state across selections. The stop
// buttons only ask the window for the confirmation sheet.
class ProcessDetailPane final : public QWidget {
    Q_OBJECT
public:
    explicit ProcessDetailPane(MainView& view, QWidget* parent = nullptr);

    void setSample(const ProcessSample& sample);
    const ProcessSample& sample() const { return m_sample; }
    // Texts and states from the model as it is now.
    void refresh();

    LVSelectableText* nameText() const { return m_name; }
    LVText* cpuText() const { return m_cpu; }
    LVBadge* mutedBadge() const { return m_mutedBadge; }
    // The resident memory, run time and CPU time figures.
    QList<LVText*> figureTexts() const { return {m_memory, m_elapsed, m_cpuTotal}; }
    LVButton* stopButton() const { return m_stop; }
    QMenu* moreMenu() const { return m_moreMenu; }
    QAction* forceStopAction() const { return m_forceStop; }
    LVPlainButton* muteButton() const { return m_mute; }
    LVText* footnoteText() const { return m_footnote; }
    LVDisclosure* resourcesGroup() const { return m_resources; }
    ProcessAISection* aiSection() const { return m_ai; }

private:
    void requestStop(bool force);

    MainView& m_view;
    ProcessSample m_sample;
    ProcessGlyph* m_glyph;
    LVSelectableText* m_name;
    LVText* m_pidLine;
    LVSelectableText* m_origin;
    ProcessAISection* m_ai;
    LVDisclosure* m_resources;
    LVText* m_cpu;
    LVBadge* m_mutedBadge;
    LVText* m_memory;
    LVText* m_elapsed;
    LVText* m_cpuTotal;
    LVText* m_explanation;
    QWidget* m_stopControls;
    LVButton* m_stop;
    LVPlainButton* m_more;
    QMenu* m_moreMenu;
    QAction* m_forceStop;
    LVPlainButton* m_mute;
    LVText* m_footnote;
    LVSelectableText* m_command;
    LVSelectableText* m_executable;
};

} // namespace lunorvale
