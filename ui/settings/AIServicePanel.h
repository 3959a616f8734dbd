#pragma once

#include "app/advice/AIStatus.h"

#include <QWidget>

class QLineEdit;

namespace lunorvale {

class ChoiceMenu;
class InputField;
class LVButton;
class LVLabel;
class LVText;
class SettingsView;

// The pill beside the AI heading: a symbol and a title on the tone's colour.
class AIBadgePill final : public QWidget {
    Q_OBJECT
public:
    explicit AIBadgePill(QWidget* parent = nullptr);
    void setBadge(const QString& title, const QString& symbol, AIStatus::Tone tone);
    const QString& title() const { return m_title; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    QString m_symbol;
    AIStatus::Tone m_tone = AIStatus::Tone::muted;
};

// The AI service form: preset, model, address and key, the saved key's actions, a running analysis
// and the save. It edits the page's draft only; nothing is stored before a button is pressed, and the
// key field is never filled from the store.
class AIServicePanel final : public QWidget {
    Q_OBJECT
public:
    AIServicePanel(SettingsView& view, QWidget* parent);
    void refresh();

    AIBadgePill* badge() const { return m_badge; }
    LVText* headingDetail() const { return m_detail; }
    ChoiceMenu* serviceMenu() const { return m_service; }
    QLineEdit* addressField() const;
    QLineEdit* modelField() const;
    QLineEdit* keyField() const;
    LVText* keyStatus() const { return m_keyStatus; }
    QWidget* busyCard() const { return m_busy; }
    LVButton* privacyButton() const { return m_privacy; }
    LVLabel* unsavedLabel() const { return m_unsaved; }
    LVButton* saveButton() const { return m_save; }

private:
    SettingsView& m_view;
    AIBadgePill* m_badge;
    LVText* m_detail;
    ChoiceMenu* m_service;
    QWidget* m_modelColumn;
    ChoiceMenu* m_model;
    InputField* m_address;
    InputField* m_modelID;
    InputField* m_key;
    LVText* m_keyStatus;
    LVButton* m_readKey;
    LVButton* m_removeKey;
    QWidget* m_busy;
    LVButton* m_cancel;
    LVButton* m_privacy;
    LVLabel* m_unsaved;
    LVButton* m_save;
};

} // namespace lunorvale
