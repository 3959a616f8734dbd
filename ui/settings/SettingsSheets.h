#pragma once

#include <QDialog>
#include <QString>
#include <functional>

namespace lunorvale {

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
