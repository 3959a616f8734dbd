#include "ui/kit/LVPlainButton.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/LVButton.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace lunorvale {

namespace {
constexpr int spacing = 5;
} // namespace

LVPlainButton::LVPlainButton(const QString& text, std::optional<LVSymbol> symbol, AdaptiveColor color,
                             const QFont& font, QWidget* parent)
    : QAbstractButton(parent), m_color(color), m_symbol(std::move(symbol)) {
    setText(text);
    setFont(font);
    setFocusPolicy(Qt::StrongFocus);
    // Its bounds are its label: a ring inside them would cross the text.
    FocusRing::surround(*this, 3, 6);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    if (!text.isEmpty())
        setAccessibleName(text);
}

void LVPlainButton::setColor(AdaptiveColor color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void LVPlainButton::setSymbol(std::optional<LVSymbol> symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = std::move(symbol);
    updateGeometry();
    update();
}

void LVPlainButton::setSymbolPixelSize(int pixelSize) {
    m_symbolPixelSize = pixelSize;
    updateGeometry();
    update();
}

void LVPlainButton::setFrameSize(const QSize& size) {
    m_frame = size;
    updateGeometry();
}

void LVPlainButton::setLabel(const QString& text) {
    if (text == this->text())
        return;
    setText(text);
    setAccessibleName(text);
    updateGeometry();
}

int LVPlainButton::symbolSide() const {
    return LVSymbol::side(m_symbolPixelSize > 0 ? m_symbolPixelSize : QFontInfo(font()).pixelSize());
}

QSizeF LVPlainButton::labelSize() const {
    const QFontMetricsF metrics(font());
    QSizeF size(text().isEmpty() ? 0 : metrics.horizontalAdvance(text()), metrics.height());
    if (m_symbol) {
        const int side = symbolSide();
        size.rwidth() += side + (text().isEmpty() ? 0 : spacing);
        size.rheight() = std::max(size.height(), qreal(side));
    }
    return size;
}

QSize LVPlainButton::sizeHint() const {
    if (!m_frame.isEmpty())
        return m_frame;
    const QSizeF label = labelSize();
    return {static_cast<int>(std::ceil(label.width())), static_cast<int>(std::ceil(label.height()))};
}

QSize LVPlainButton::minimumSizeHint() const {
    return sizeHint();
}

void LVPlainButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
    const QColor color = m_color.in(this);
    const QSizeF label = labelSize();
    QRectF area(QPointF(0, 0), label);
    area.moveCenter(QRectF(rect()).center());
    if (m_symbol) {
        const int side = symbolSide();
        m_symbol->paint(painter, QRectF(area.left(), area.center().y() - side / 2.0, side, side), color);
        area.setLeft(area.left() + side + spacing);
    }
    if (!text().isEmpty()) {
        painter.setPen(color);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
    }
}

} // namespace lunorvale
