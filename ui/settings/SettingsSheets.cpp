#include "ui/settings/SettingsSheets.h"

#include "ui/kit/Palette.h"
#include "ui/kit/SheetActivation.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace lunorvale {

SheetDialog::SheetDialog(QWidget* parent, QWidget* content, bool dismissible)
    : QDialog(parent ? parent->window() : nullptr), m_content(content), m_dismissible(dismissible) {
    setWindowTitle(QStringLiteral("岚栖"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
    if (!dismissible)
        setWindowFlag(Qt::WindowCloseButtonHint, false);
    keepActivation(*this);
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
