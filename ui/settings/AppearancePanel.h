#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <array>

namespace lunorvale {

class LVButton;
class LVLabel;
class LVText;
class SettingsView;

// One appearance choice: a miniature window in the colours of that appearance (fixed, whatever the
// program shows now) over its symbol and label. The whole card takes clicks.
class AppearanceCard final : public QAbstractButton {
    Q_OBJECT
public:
    AppearanceCard(const QString& label, const QString& value, const QString& symbol, QWidget* parent);
    const QString& value() const { return m_value; }
    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QString m_value;
    QString m_symbol;
    bool m_selected = false;
};

// Appearance and the local history: three appearance cards, the number of events kept with the way to
// clear them, and what the history never holds.
class AppearancePanel final : public QWidget {
    Q_OBJECT
public:
    AppearancePanel(SettingsView& view, QWidget* parent);
    void refresh();

    AppearanceCard* card(int index) const { return m_cards[static_cast<size_t>(index)]; }
    LVText* countLine() const { return m_count; }
    LVButton* clearButton() const { return m_clear; }
    LVLabel* storageError() const { return m_error; }
    LVButton* privacyButton() const { return m_privacy; }

private:
    SettingsView& m_view;
    std::array<AppearanceCard*, 3> m_cards{};
    LVText* m_count;
    LVButton* m_clear;
    LVLabel* m_error;
    LVButton* m_privacy;
};

} // namespace lunorvale
