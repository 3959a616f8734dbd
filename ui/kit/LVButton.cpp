#include "ui/kit/LVButton.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int symbolSpacing = 6;

QPainterPath roundedShape(const QRectF& rect, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

AdaptiveColor LVButtonStyle::text() const {
    switch (kind) {
    case LVButtonKind::primary:
        return Palette::onAccent;
    case LVButtonKind::secondary:
        return Palette::ink;
    case LVButtonKind::danger:
        return Palette::danger;
    case LVButtonKind::lunor:
        return Palette::muted;
    }
    return Palette::ink;
}

std::optional<AdaptiveColor> LVButtonStyle::fill() const {
    switch (kind) {
    case LVButtonKind::primary:
        return Palette::accent;
    case LVButtonKind::secondary:
    case LVButtonKind::danger:
        return Palette::surface;
    case LVButtonKind::lunor:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<AdaptiveColor> LVButtonStyle::stroke() const {
    switch (kind) {
    case LVButtonKind::secondary:
    case LVButtonKind::danger:
        return Palette::line;
    case LVButtonKind::primary:
    case LVButtonKind::lunor:
        return std::nullopt;
    }
    return std::nullopt;
}

QFont LVButtonStyle::font() {
    return Fonts::system(12, FontWeight::medium);
}

qreal LVButtonStyle::opacity(bool enabled, bool pressed) {
    if (!enabled)
        return 0.45;
    return pressed ? 0.72 : 1.0;
}

LVButton::LVButton(LVButtonKind kind, const QString& text, QWidget* parent)
    : QAbstractButton(parent), m_style{kind} {
    setText(text);
    setFont(LVButtonStyle::font());
    setFocusPolicy(Qt::StrongFocus);
    // Around the button rather than inside it, where the accent ring would vanish on the accent fill.
    FocusRing::surround(*this, 3, LVButtonStyle::cornerRadius + 3);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void LVButton::setKind(LVButtonKind kind) {
    if (kind == m_style.kind)
        return;
    m_style.kind = kind;
    update();
}

void LVButton::setSymbol(std::optional<LVSymbol> symbol) {
    if (symbol == m_symbol)
        return;
    m_symbol = std::move(symbol);
    updateGeometry();
    update();
}

QSizeF LVButton::labelSize() const {
    const QFontMetricsF metrics(font());
    QSizeF size = metrics.size(0, text());
    if (m_symbol) {
        const int side = LVSymbol::side(QFontInfo(font()).pixelSize());
        size.rwidth() += side + (text().isEmpty() ? 0 : symbolSpacing);
        size.rheight() = std::max(size.height(), qreal(side));
    }
    return size;
}

QSize LVButton::sizeHint() const {
    const QSizeF label = labelSize();
    return {static_cast<int>(std::ceil(label.width())) + 2 * LVButtonStyle::horizontalPadding,
            std::max(LVButtonStyle::minimumHeight, static_cast<int>(std::ceil(label.height())))};
}

QSize LVButton::minimumSizeHint() const {
    return sizeHint();
}

void LVButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(LVButtonStyle::opacity(isEnabled(), isDown()));
    constexpr qreal radius = LVButtonStyle::cornerRadius;
    if (const auto fill = m_style.fill())
        painter.fillPath(roundedShape(rect(), radius), fill->in(this));
    if (const auto stroke = m_style.stroke()) {
        // The 1 px stroke lies just inside the edge rather than half outside it, where it would be cut.
        painter.setPen(QPen(stroke->in(this), 1));
        painter.drawPath(roundedShape(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5));
    }

    const QColor color = m_style.text().in(this);
    const QSizeF label = labelSize();
    QRectF area(QPointF(0, 0), label);
    area.moveCenter(QRectF(rect()).center());
    if (m_symbol) {
        const int side = LVSymbol::side(QFontInfo(font()).pixelSize());
        m_symbol->paint(painter, QRectF(area.left(), area.center().y() - side / 2.0, side, side), color);
        area.setLeft(area.left() + side + symbolSpacing);
    }
    painter.setPen(color);
    painter.drawText(area, Qt::AlignCenter, text());
}

bool LVButton::hitButton(const QPoint& position) const {
    return roundedShape(rect(), LVButtonStyle::cornerRadius).contains(QPointF(position) + QPointF(0.5, 0.5));
}

} // namespace lunorvale
