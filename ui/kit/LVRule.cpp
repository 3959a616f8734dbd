#include "ui/kit/LVRule.h"

#include "ui/kit/Palette.h"

#include <QPainter>

namespace lunorvale {

LVRule::LVRule(QSize size, qreal opacity, QWidget* parent) : QWidget(parent), m_opacity(opacity) {
    if (size.isEmpty()) {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setFixedSize(size);
    }
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LVRule::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor color = Palette::line.in(this);
    color.setAlphaF(color.alphaF() * m_opacity);
    painter.fillRect(rect(), color);
}

} // namespace lunorvale
