#include "ui/kit/AIStatusButton.h"

#include "ui/kit/FocusRing.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVSymbol.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lunorvale {

namespace {

constexpr int textPixels = 11;
constexpr int chevronPixels = 8;
constexpr qreal spacing = 6;
constexpr qreal horizontalPadding = 10;
constexpr qreal verticalPadding = 6;

} // namespace

AIStatusButton::AIStatusButton(const StatusCapsule& status, std::function<void()> action, QWidget* parent)
    : QAbstractButton(parent), m_status(status) {
    setObjectName(QStringLiteral("ai-status-settings"));
    setFont(Fonts::system(textPixels, FontWeight::medium));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    FocusRing::follow();
    if (action)
        connect(this, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    applyTexts();
}

void AIStatusButton::setStatus(const StatusCapsule& status) {
    if (status == m_status)
        return;
    m_status = status;
    applyTexts();
    updateGeometry();
    update();
}

AdaptiveColor AIStatusButton::color(StatusTone tone) {
    switch (tone) {
    case StatusTone::muted:
        return Palette::muted;
    case StatusTone::amber:
        return Palette::amber;
    case StatusTone::success:
        return Palette::success;
    }
    return Palette::muted;
}

void AIStatusButton::applyTexts() {
    setText(m_status.title);
    setToolTip(m_status.toolTip);
    setAccessibleName(m_status.accessibleName);
}

QSize AIStatusButton::sizeHint() const {
    const QFontMetricsF metrics(font());
    const qreal width = LVSymbol::side(textPixels) + spacing + metrics.horizontalAdvance(text()) + spacing +
                        LVSymbol::side(chevronPixels) + 2 * horizontalPadding;
    const qreal height = std::max<qreal>(metrics.height(), LVSymbol::side(textPixels)) + 2 * verticalPadding;
    return {static_cast<int>(std::ceil(width)), static_cast<int>(std::ceil(height))};
}

QSize AIStatusButton::minimumSizeHint() const {
    return sizeHint();
}

void AIStatusButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = AIStatusButton::color(m_status.tone).in(this);

    const qreal radius = height() / 2.0;
    QPainterPath capsule;
    capsule.addRoundedRect(QRectF(rect()), radius, radius);
    QColor fill = color;
    fill.setAlphaF(0.09);
    painter.fillPath(capsule, fill);
    QColor outline = color;
    outline.setAlphaF(0.22);
    painter.setPen(QPen(outline, 1));
    QPainterPath edge;
    edge.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius - 0.5, radius - 0.5);
    painter.drawPath(edge);
    if (FocusRing::shown(*this))
        FocusRing::paint(painter, rect(), radius - 0.75, *this);

    const qreal middle = height() / 2.0;
    qreal x = horizontalPadding;
    const int symbol = LVSymbol::side(textPixels);
    LVSymbol(m_status.symbol).paint(painter, QRectF(x, middle - symbol / 2.0, symbol, symbol), color);
    x += symbol + spacing;
    const qreal titleWidth = QFontMetricsF(font()).horizontalAdvance(text());
    painter.setPen(color);
    painter.drawText(QRectF(x, 0, titleWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    x += titleWidth + spacing;
    const int chevron = LVSymbol::side(chevronPixels);
    LVSymbol("chevron.right").paint(painter, QRectF(x, middle - chevron / 2.0, chevron, chevron), color);
}

} // namespace lunorvale
