#include "ui/kit/LVSegmentedControl.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/Palette.h"

#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {
constexpr int controlHeight = 26;
constexpr qreal inset = 2;
constexpr qreal radius = 7;
} // namespace

LVSegmentedControl::LVSegmentedControl(const QStringList& titles, QWidget* parent)
    : QWidget(parent), m_titles(titles) {
    setFont(Fonts::system(11, FontWeight::medium));
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void LVSegmentedControl::setCurrentIndex(int index) {
    if (index < 0 || index >= m_titles.size() || index == m_current)
        return;
    m_current = index;
    update();
    emit currentIndexChanged(index);
}

QRect LVSegmentedControl::segmentRect(int index) const {
    if (m_titles.isEmpty())
        return {};
    const qreal width = (this->width() - 2 * inset) / m_titles.size();
    return QRectF(inset + index * width, inset, width, this->height() - 2 * inset).toAlignedRect();
}

QSize LVSegmentedControl::sizeHint() const {
    const QFontMetricsF metrics(font());
    qreal widest = 0;
    for (const QString& title : m_titles)
        widest = std::max(widest, metrics.horizontalAdvance(title));
    return {static_cast<int>(std::ceil((widest + 24) * m_titles.size() + 2 * inset)), controlHeight};
}

QSize LVSegmentedControl::minimumSizeHint() const {
    return sizeHint();
}

void LVSegmentedControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.45);
    QPainterPath track;
    track.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.fillPath(track, Palette::canvas.in(this));
    painter.setPen(QPen(Palette::line.in(this), 1));
    painter.drawPath(track);
    for (int i = 0; i < m_titles.size(); ++i) {
        const QRectF segment = QRectF(segmentRect(i));
        const bool chosen = i == m_current;
        if (chosen) {
            QPainterPath thumb;
            thumb.addRoundedRect(segment.adjusted(0.5, 0.5, -0.5, -0.5), radius - inset, radius - inset);
            painter.fillPath(thumb, Palette::surface.in(this));
            painter.setPen(QPen(Palette::line.in(this), 1));
            painter.drawPath(thumb);
        }
        if (chosen && FocusRing::shown(*this))
            FocusRing::paint(painter, segment, radius - inset, *this);
        painter.setPen((chosen ? Palette::ink : Palette::muted).in(this));
        painter.drawText(segment, Qt::AlignCenter | Qt::TextSingleLine, m_titles[i]);
    }
}

void LVSegmentedControl::mousePressEvent(QMouseEvent* event) {
    for (int i = 0; i < m_titles.size(); ++i) {
        if (segmentRect(i).contains(event->position().toPoint())) {
            setCurrentIndex(i);
            return;
        }
    }
    QWidget::mousePressEvent(event);
}

void LVSegmentedControl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Left)
        setCurrentIndex(m_current - 1);
    else if (event->key() == Qt::Key_Right)
        setCurrentIndex(m_current + 1);
    else
        QWidget::keyPressEvent(event);
}

} // namespace lunorvale
