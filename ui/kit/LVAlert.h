#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <functional>

namespace lunorvale {

class LVButton;
class LVText;

// What an alert asks.
struct AlertText {
    QString title;   // the question
    QString message; // plain text under it; may hold names from outside the program
    // The second button. Empty: an alert that only informs, with the first button alone.
    QString confirmTitle;
    // The confirming button is drawn destructive, and Return never takes it.
    bool destructive = false;
    QString cancelTitle = QStringLiteral("取消");
    // Return takes the confirming button (only where it is not destructive); otherwise the first one.
    bool returnConfirms = false;
};

// Every confirmation of the program: the question in bold, the message under it, and the buttons at
// the bottom right, "取消" first and the confirming button second, whatever their roles (a stock
// message box orders buttons by role, per platform). The button Return takes is drawn as the default
// (primary) one; a destructive button is drawn as such. Its width keeps a short sentence on one or two
// lines. Escape and the window's close button mean the first button. When it closes, the window it was
// asked over is activated again.
class LVAlert final : public QDialog {
    Q_OBJECT
public:
    explicit LVAlert(const AlertText& text, QWidget* parent = nullptr);

    const AlertText& text() const { return m_text; }
    LVText* titleView() const { return m_title; }
    LVText* messageView() const { return m_message; }
    // Left to right as shown: the first button, then the confirming one when there is one.
    const QList<LVButton*>& buttons() const { return m_buttons; }
    // The button Return takes.
    LVButton* defaultButton() const;
    // The index in `buttons()` of the button that closed the alert; -1 while none has.
    int chosen() const { return m_chosen; }

    // Escape and the window's close button: the first button.
    void reject() override;
    // Closes the alert; the window it was asked over is active again.
    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void choose(int index);

    AlertText m_text;
    LVText* m_title;
    LVText* m_message;
    QList<LVButton*> m_buttons;
    int m_chosen = -1;
};

// Shows an alert and returns the index of the chosen button in `buttons()` (0: the first, "取消"); -1 when
// none was. Tests answer without showing anything.
using AlertPresenter = std::function<int(LVAlert& alert)>;

// The program's presentation: window-modal over the alert's parent window, waited for.
int presentAlertModally(LVAlert& alert);

// Asks through `present` (empty: modally) over `parent`; true when the confirming button was chosen.
bool confirmAlert(const AlertPresenter& present, QWidget* parent, const AlertText& text);

} // namespace lunorvale
