#include "ui/settings/SettingsCards.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVCard.h"
#include "ui/kit/LVText.h"

#include <QScrollArea>

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

QScrollArea* scrollingBody(QWidget* content, QWidget* parent) {
    auto* scroll = new QScrollArea(parent);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setWidget(content);
    return scroll;
}

QVBoxLayout* sheetColumn(QWidget* sheet, QSize size) {
    sheet->setFixedSize(size);
    sheet->setAutoFillBackground(true);
    sheet->setBackgroundRole(QPalette::Window);
    auto* column = new QVBoxLayout(sheet);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    return column;
}

QWidget* noteCard(const QString& text) {
    auto* note = new LVText(text, Fonts::system(12), Palette::muted);
    note->setLineSpacing(4);
    auto* frame = new QWidget;
    auto* layout = new QVBoxLayout(frame);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->addWidget(note);
    return lunorCard(frame);
}

LVButton* settingsButton(LVButtonKind kind, const QString& text, QWidget* parent) {
    auto* button = new LVButton(kind, text, parent);
    button->setAccessibleName(text);
    return button;
}

} // namespace lunorvale
