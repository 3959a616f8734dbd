#include "ui/settings/SettingsSheets.h"

#include "ui/kit/Palette.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace lunorvale {

int presentAlertModally(QMessageBox& alert) {
    alert.setWindowModality(Qt::WindowModal);
    alert.exec();
    return static_cast<int>(alert.buttons().indexOf(alert.clickedButton()));
}

bool confirm(const PresentAlert& present, QWidget* parent, const Confirmation& confirmation) {
    QMessageBox alert(parent);
    alert.setWindowTitle(confirmation.title);
    alert.setTextFormat(Qt::PlainText);
    alert.setText(confirmation.title);
    alert.setInformativeText(confirmation.message);
    QPushButton* cancel = alert.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    QPushButton* accept =
        alert.addButton(confirmation.confirm,
                        confirmation.destructive ? QMessageBox::DestructiveRole : QMessageBox::AcceptRole);
    alert.setDefaultButton(confirmation.destructive ? cancel : accept);
    alert.setEscapeButton(cancel);
    const int chosen = (present ? present : presentAlertModally)(alert);
    return chosen >= 0 && alert.buttons().value(chosen) == accept;
}

SheetDialog::SheetDialog(QWidget* parent, QWidget* content, bool dismissible)
    : QDialog(parent ? parent->window() : nullptr), m_content(content), m_dismissible(dismissible) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    if (!dismissible)
        setWindowFlag(Qt::WindowCloseButtonHint, false);
}

SheetDialog* SheetDialog::present(QWidget* parent, QWidget* content, bool dismissible) {
    auto* dialog = new SheetDialog(parent, content, dismissible);
    dialog->open();
    return dialog;
}

void SheetDialog::reject() {
    if (m_dismissible)
        QDialog::reject();
}

void SheetDialog::closeEvent(QCloseEvent* event) {
    // `done()` hides the dialog without a close event; only a close from outside arrives here.
    if (!m_dismissible)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

} // namespace lunorvale
