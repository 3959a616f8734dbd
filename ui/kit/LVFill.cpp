#include "ui/kit/LVFill.h"

#include <QPainter>
#include <QPainterPath>

namespace lunorvale {

LVFill::LVFill(AdaptiveColor color, qreal radius, QWidget* parent)
    : QWidget(parent), m_color(color), m_radius(radius) {}

void LVFill::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), m_radius, m_radius);
    painter.fillPath(shape, m_color.in(this));
}

} // namespace lunorvale
