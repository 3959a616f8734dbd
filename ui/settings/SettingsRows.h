#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QAbstractButton>
#include <QStringList>
#include <QWidget>

class QLineEdit;
class QMenu;

namespace lunorvale {

class LVText;

// The controls the settings panels are built from. They keep no settings of their own: each shows what
// its owner gives it and reports what the user asks for.

// A pop-up menu whose face shows the current value and a chevron, and whose items mark the current
// value with a check mark. A value that is not among the items shows on the face with no item marked.
// Opens on a click, Space or Return; its items are chosen with the arrow keys and Return.
class ChoiceMenu final : public QAbstractButton {
    Q_OBJECT
public:
    explicit ChoiceMenu(QWidget* parent = nullptr);

    // `current` -1: no item is marked. The face text is also the accessible value.
    void setChoices(const QStringList& items, int current, const QString& face);
    const QStringList& items() const { return m_items; }
    int currentIndex() const { return m_current; }
    const QString& face() const { return m_face; }
    // Open while it is shown.
    QMenu* menu() const { return m_menu; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // An item was chosen, the marked one included.
    void chosen(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void open();

    QStringList m_items;
    int m_current = -1;
    QString m_face;
    QMenu* m_menu;
};

// A switch that shows the value it is given and, when flipped by a click or Space, asks for the other
// one without changing itself: the owner decides and sets the value again.
class SettingsSwitch final : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(const QString& label, QWidget* parent = nullptr);

    void setOn(bool on) { setChecked(on); }
    bool isOn() const { return isChecked(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void flipRequested(bool on);

protected:
    void nextCheckState() override;
    void paintEvent(QPaintEvent* event) override;
};

// A title over a detail that wraps, with the control at the trailing end.
QWidget* settingRow(const QString& title, const QString& detail, QWidget* control, QWidget* parent = nullptr);

// A title, an entry field and a hint under it, stacked.
class InputField final : public QWidget {
    Q_OBJECT
public:
    InputField(const QString& title, const QString& hint, QLineEdit* field, QWidget* parent = nullptr);
    void setHint(const QString& hint);
    QLineEdit* field() const { return m_field; }

private:
    QLineEdit* m_field;
    LVText* m_hint;
};

// A rounded entry field at the kit's control height; its title is its accessible name.
QLineEdit* settingsField(const QString& accessibleName, const QString& placeholder,
                         QWidget* parent = nullptr);

// One line of system state on an inner card: symbol and title in the muted colour, the value trailing.
class SystemStatusLine final : public QWidget {
    Q_OBJECT
public:
    SystemStatusLine(const QString& title, const LVSymbol& symbol, QWidget* parent = nullptr);
    // An empty value reads "正在读取…".
    void setValue(const QString& value);
    LVText* value() const { return m_value; }

private:
    LVText* m_value;
};

} // namespace lunorvale
