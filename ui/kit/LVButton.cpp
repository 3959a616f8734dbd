#include "ui/kit/LVButton.h"

#include "core/common/SafeText.h"
#include "ui/kit/Elided.h"
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

void LVButton::setNamedText(const QString& name, const QString& rest) {
    m_named = NamedText{name, rest};
    setText(SafeText::isolated(name) + rest);
    // Set once: setting a policy asks for a new layout, even the same policy.
    if (sizePolicy().horizontalPolicy() != QSizePolicy::Maximum)
        setSizePolicy(QSizePolicy::Maximum, sizePolicy().verticalPolicy());
}

const LVButton::NamedText* LVButton::namedText() const {
    if (!m_named || text() != SafeText::isolated(m_named->name) + m_named->rest)
        return nullptr;
    return &*m_named;
}

QSizeF LVButton::labelSize(const QString& label) const {
    const QFontMetricsF metrics(font());
    QSizeF size = metrics.size(0, label);
    if (m_symbol) {
        const int side = LVSymbol::side(QFontInfo(font()).pixelSize());
        size.rwidth() += side + (label.isEmpty() ? 0 : symbolSpacing);
        size.rheight() = std::max(size.height(), qreal(side));
    }
    return size;
}

QString LVButton::shownText() const {
    const NamedText* named = namedText();
    const qreal room = width() - 2 * LVButtonStyle::horizontalPadding;
    if (!named || labelSize(text()).width() <= room)
        return text();
    // The name gives up what the symbol and the rest take.
    return SafeText::isolated(
               elidedRight(QFontMetricsF(font()), named->name, room - labelSize(named->rest).width())) +
           named->rest;
}

QSize LVButton::sizeHint() const {
    const QSizeF label = labelSize(text());
    return {static_cast<int>(std::ceil(label.width())) + 2 * LVButtonStyle::horizontalPadding,
            std::max(LVButtonStyle::minimumHeight, static_cast<int>(std::ceil(label.height())))};
}

QSize LVButton::minimumSizeHint() const {
    const NamedText* named = namedText();
    if (!named)
        return sizeHint();
    // Narrower than the name's first letter and the "…", the name would vanish.
    const QString shortest =
        SafeText::isolated(elidedRight(QFontMetricsF(font()), named->name, 0)) + named->rest;
    const QSizeF label = labelSize(shortest);
    return {static_cast<int>(std::ceil(label.width())) + 2 * LVButtonStyle::horizontalPadding,
            sizeHint().height()};
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
    const QString shown = shownText();
    const QSizeF label = labelSize(shown);
    QRectF area(QPointF(0, 0), label);
    area.moveCenter(QRectF(rect()).center());
    if (m_symbol) {
        const int side = LVSymbol::side(QFontInfo(font()).pixelSize());
        m_symbol->paint(painter, QRectF(area.left(), area.center().y() - side / 2.0, side, side), color);
        area.setLeft(area.left() + side + symbolSpacing);
    }
    painter.setPen(color);
    painter.drawText(area, Qt::AlignCenter, shown);
}

bool LVButton::hitButton(const QPoint& position) const {
    return roundedShape(rect(), LVButtonStyle::cornerRadius).contains(QPointF(position) + QPointF(0.5, 0.5));
}

} // namespace lunorvale
