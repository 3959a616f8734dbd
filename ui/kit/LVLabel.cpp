#include "ui/kit/LVLabel.h"

#include "ui/kit/LVText.h"

#include <QFontInfo>
#include <QHBoxLayout>

namespace lunorvale {

LVLabel::LVLabel(const LVSymbol& symbol, const QString& text, const QFont& font,
                 std::optional<AdaptiveColor> color, QWidget* parent)
    : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(5);
    m_symbol = new LVSymbolView(symbol, QFontInfo(font).pixelSize(), color.value_or(Palette::ink), this);
    m_text = new LVText(text, font, color, this);
    m_text->setMaximumLines(1);
    row->addWidget(m_symbol, 0, Qt::AlignVCenter);
    row->addWidget(m_text, 1, Qt::AlignVCenter);
    setColor(color);
}

void LVLabel::setText(const QString& text) {
    m_text->setText(text);
}

void LVLabel::setSymbol(const LVSymbol& symbol) {
    m_symbol->setSymbol(symbol);
}

void LVLabel::setColor(std::optional<AdaptiveColor> color) {
    m_text->setColor(color);
    // Without a colour of its own the symbol follows the text, which follows the foreground.
    m_symbol->setColor(color.value_or(Palette::ink));
}

} // namespace lunorvale
