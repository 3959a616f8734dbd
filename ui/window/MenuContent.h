#pragma once

#include "core/monitoring/ProcessSample.h"
#include "ui/window/ScreenFactory.h"

#include <QAbstractButton>
#include <QList>
#include <QWidget>
#include <functional>

class QScrollArea;
class QVBoxLayout;

namespace lunorvale {

class AIStatusButton;
class AppModel;
class LVBadge;
class LVButton;
class LVSymbolView;
class LVText;
class ProcessAdviceView;

// A button whose label is other widgets: the whole area takes the click.
class PressableArea final : public QAbstractButton {
    Q_OBJECT
public:
    explicit PressableArea(QWidget* content, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* m_content;
};

// One of the popover's three busiest processes: name, CPU figure and a chevron, one click target.
class MenuProcessRow final : public QAbstractButton {
    Q_OBJECT
public:
    explicit MenuProcessRow(QWidget* parent = nullptr);
    void setSample(const ProcessSample& sample, bool flagged);
    const ProcessSample& sample() const { return m_sample; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ProcessSample m_sample;
    bool m_flagged = false;
};

// A control of the popover's bottom row: a labelled one (pause or resume) or a small square icon.
class MenuControlButton final : public QAbstractButton {
    Q_OBJECT
public:
    MenuControlButton(bool iconOnly, QWidget* parent = nullptr);
    void setSymbol(const char* symbol);
    QSize sizeHint() const override;
    // 0.4 disabled, else 0.65 while pressed and 1 otherwise.
    qreal opacity() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_iconOnly;
    const char* m_symbol = "";
};

// The tray popover's content: observation state, whole-machine figures, the AI status, the first
// finding's advice, the strongest resource observation, the three busiest processes, a way into the
// main window and a row of controls. Follows the model by itself. Its middle scrolls when the popover is
// shorter than the content, so the controls always show; its size hint is the whole content.
class MenuContent final : public QWidget {
    Q_OBJECT
public:
    MenuContent(AppModel& model, MenuActions actions, QWidget* parent = nullptr);

    QSize sizeHint() const override;

    LVText* stateLine() const { return m_state; }
    LVText* resourceLine() const { return m_resources; }
    LVBadge* badge() const { return m_badge; }
    AIStatusButton* aiStatusButton() const { return m_aiStatus; }
    PressableArea* adviceButton() const { return m_adviceButton; }
    PressableArea* observationButton() const { return m_observationButton; }
    const QList<MenuProcessRow*>& processRows() const { return m_rows; }
    LVButton* openButton() const { return m_open; }
    QAbstractButton* updateReminder() const { return m_updateReminder; }
    MenuControlButton* toggleButton() const { return m_toggle; }
    MenuControlButton* sampleButton() const { return m_sample; }
    MenuControlButton* settingsButton() const { return m_settings; }
    MenuControlButton* quitButton() const { return m_quit; }
    QWidget* divider() const { return m_divider; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();
    void applyAppearance();

    AppModel& m_model;
    MenuActions m_actions;
    std::optional<ProcessSample> m_adviceSample;

    LVBadge* m_badge;
    QScrollArea* m_middle;
    QWidget* m_middleContent;
    QVBoxLayout* m_middleColumn;
    LVText* m_state;
    LVText* m_resources;
    AIStatusButton* m_aiStatus;
    ProcessAdviceView* m_advice;
    PressableArea* m_adviceButton;
    LVText* m_observation;
    PressableArea* m_observationButton;
    LVText* m_noProcesses;
    QWidget* m_rowsBox;
    QList<MenuProcessRow*> m_rows;
    LVButton* m_open;
    QWidget* m_divider;
    QAbstractButton* m_updateReminder;
    MenuControlButton* m_toggle;
    MenuControlButton* m_sample;
    MenuControlButton* m_settings;
    MenuControlButton* m_quit;
};

} // namespace lunorvale
