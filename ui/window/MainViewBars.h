#pragma once

#include <QAbstractButton>
#include <QWidget>

namespace lunorvale {

class AIStatusButton;
class LVBadge;
class LVPlainButton;
class LVSymbolView;
class LVText;
class MainView;

// The main window's top bar: the product mark, one button per page (the overview's with the attention
// count), and the help button. A page button is checked while its page shows and the help does not.
class NavigationBar final : public QWidget {
    Q_OBJECT
public:
    explicit NavigationBar(MainView& view, QWidget* parent = nullptr);

    void refresh();
    QAbstractButton* pageButton(int index) const;
    // Gives the window's focus to the shown page's button where it lies on another page's button or
    // nowhere, or, with `wherever`, wherever it lies; nothing while the help shows.
    void focusShownPage(bool wherever);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    class PageButton;
    MainView& m_view;
    QList<PageButton*> m_pages;
    LVPlainButton* m_help;
};

// The line under the navigation bar: the machine's CPU, the process count, the sampling interval, the AI
// status and the observation controls.
class TelemetryHeader final : public QWidget {
    Q_OBJECT
public:
    explicit TelemetryHeader(MainView& view, QWidget* parent = nullptr);

    void refresh();
    LVText* cpuText() const { return m_cpu; }
    LVText* processCountText() const { return m_count; }
    LVPlainButton* pauseButton() const { return m_pause; }
    LVPlainButton* sampleButton() const { return m_sample; }
    LVBadge* stateBadge() const { return m_badge; }
    AIStatusButton* aiStatusButton() const { return m_ai; }

private:
    MainView& m_view;
    LVText* m_cpu;
    LVText* m_count;
    LVText* m_interval;
    AIStatusButton* m_ai;
    LVBadge* m_badge;
    LVPlainButton* m_pause;
    LVPlainButton* m_sample;
};

// The bottom bar: the model's status sentence, the time of the last sample and the privacy link.
class StatusBar final : public QWidget {
    Q_OBJECT
public:
    explicit StatusBar(MainView& view, QWidget* parent = nullptr);

    void refresh();
    LVText* messageText() const { return m_message; }
    LVText* timeText() const { return m_time; }
    LVPlainButton* privacyButton() const { return m_privacy; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MainView& m_view;
    LVSymbolView* m_icon;
    LVText* m_message;
    LVText* m_time;
    LVPlainButton* m_privacy;
};

} // namespace lunorvale
