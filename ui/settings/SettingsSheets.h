#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QMessageBox;

namespace lunorvale {

// Shows an alert and returns the index of the chosen button in `alert.buttons()`; -1 when none was.
using PresentAlert = std::function<int(QMessageBox& alert)>;

// Window-modal over the alert's parent, waited for.
int presentAlertModally(QMessageBox& alert);

struct Confirmation {
    QString title;
    QString message;
    QString confirm;
    bool destructive = false;
};

// Asks with "取消" first and the confirming button second; true when the second was chosen. The texts
// are plain. In a destructive confirmation Return and Esc both mean "取消".
bool confirm(const PresentAlert& present, QWidget* parent, const Confirmation& confirmation);

// A window-modal sheet holding one content widget, deleted when it closes. Esc and the window's close
// button close it only when it is `dismissible`; the content closes it through `accept()`.
class SheetDialog final : public QDialog {
    Q_OBJECT
public:
    // Opened at once over `parent`'s window; returns without waiting.
    static SheetDialog* present(QWidget* parent, QWidget* content, bool dismissible);

    QWidget* content() const { return m_content; }
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    SheetDialog(QWidget* parent, QWidget* content, bool dismissible);

    QWidget* m_content;
    bool m_dismissible;
};

} // namespace lunorvale
