#include "ui/settings/SettingsCards.h"

#include "ui/kit/LVCard.h"

namespace lunorvale {

QVBoxLayout* panelCard(QWidget* panel, int spacing) {
    auto* outer = new QVBoxLayout(panel);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* inner = new QWidget;
    auto* column = new QVBoxLayout(inner);
    column->setContentsMargins(26, 26, 26, 26);
    column->setSpacing(spacing);
    outer->addWidget(card(inner));
    return column;
}

LVButton* settingsButton(LVButtonKind kind, const QString& text, QWidget* parent) {
    auto* button = new LVButton(kind, text, parent);
    button->setAccessibleName(text);
    return button;
}

} // namespace lunorvale
