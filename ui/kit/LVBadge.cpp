#include "ui/kit/LVBadge.h"

#include "ui/kit/Fonts.h"

#include <QFontMetricsF>
#include <QPainter>
#include <cmath>

namespace lunorvale {

namespace {
constexpr qreal dot = 6;
constexpr qreal dotSpacing = 6;
} // namespace

LVBadge::LVBadge(const QString& title, AdaptiveColor color, QWidget* parent)
    : QWidget(parent), m_title(title), m_color(color) {
    setFont(Fonts::system(11, FontWeight::medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title);
}

void LVBadge::setTitle(const QString& title) {
    if (title == m_title)
        return;
    m_title = title;
    setAccessibleName(title);
    updateGeometry();
    update();
}

void LVBadge::setColor(AdaptiveColor color) {
    if (color == m_color)
        return;
    m_color = color;
    update();
}

QSize LVBadge::sizeHint() const {
    const QFontMetricsF metrics(font());
    return {static_cast<int>(std::ceil(dot + dotSpacing + metrics.horizontalAdvance(m_title))),
            static_cast<int>(std::ceil(std::max(dot, metrics.height())))};
}

QSize LVBadge::minimumSizeHint() const {
    return sizeHint();
}

void LVBadge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = m_color.in(this);
    const qreal middle = height() / 2.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, middle - dot / 2, dot, dot));
    painter.setPen(color);
    painter.drawText(QRectF(dot + dotSpacing, 0, width() - dot - dotSpacing, height()),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, m_title);
}

} // namespace lunorvale
