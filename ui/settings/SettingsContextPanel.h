#pragma once

#include <QWidget>

namespace lunorvale {

class LVButton;
class LVDisclosure;
class LVLabel;
class LVPlainButton;
class LVSymbolView;
class LVText;
class SettingsSwitch;
class SettingsView;

// The effective AI state in the side panel: what the model holds after the last save, never the draft.
class AIServiceStatusView final : public QWidget {
    Q_OBJECT
public:
    AIServiceStatusView(SettingsView& view, QWidget* parent);
    void refresh();

    LVLabel* headline() const { return m_headline; }
    LVText* rowValue(int row) const { return m_values[row]; }
    LVButton* keyButton() const { return m_keyButton; }

private:
    SettingsView& m_view;
    LVLabel* m_headline;
    LVText* m_service;
    LVText* m_values[3];
    LVText* m_sentence;
    LVButton* m_keyButton;
    LVText* m_saveFirst;
    LVText* m_note;
};

// The panel beside the settings: a symbol, title and text per section; for the AI section the
// effective state, the automatic-advice switch, what is sent, the chosen service's key hint and its
// documentation link.
class SettingsContextPanel final : public QWidget {
    Q_OBJECT
public:
    SettingsContextPanel(SettingsView& view, QWidget* parent);
    void refresh();
    // Closes the disclosure (when the AI content leaves the screen).
    void collapse();

    LVSymbolView* symbol() const { return m_symbol; }
    LVText* title() const { return m_title; }
    LVText* text() const { return m_text; }
    AIServiceStatusView* status() const { return m_status; }
    SettingsSwitch* automaticSwitch() const { return m_automatic; }
    LVText* automaticCaption() const { return m_caption; }
    LVDisclosure* disclosure() const { return m_disclosure; }
    LVPlainButton* documentationLink() const { return m_link; }

private:
    SettingsView& m_view;
    QWidget* m_sectionContent;
    LVSymbolView* m_symbol;
    LVText* m_title;
    LVText* m_text;
    QWidget* m_aiContent;
    AIServiceStatusView* m_status;
    SettingsSwitch* m_automatic;
    LVText* m_caption;
    LVDisclosure* m_disclosure;
    LVText* m_hint;
    LVPlainButton* m_link;
};

} // namespace lunorvale
