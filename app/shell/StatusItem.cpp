#include "app/shell/StatusItem.h"

#include "platform/desktop/StatusNotifierHost.h"
#include "ui/kit/Fonts.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>
#include <cmath>

namespace lunorvale {

StatusItem::StatusItem(QMenu* contextMenu, QObject* parent)
    : QObject(parent), m_tray(new QSystemTrayIcon(this)), m_hostReadsMarkup(!statusNotifierHostRegistered()) {
    m_tray->setIcon(icon(StatusItemState()));
    m_tray->setToolTip(StatusItemText::toolTipForHost(m_toolTip, m_hostReadsMarkup));
    m_tray->setContextMenu(contextMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit clicked();
    });
    m_tray->show();
}

StatusItem::~StatusItem() = default;

void StatusItem::show(const StatusItemState& state) {
    if (m_shown == state)
        return;
    m_shown = state;
    const QString title = StatusItemText::title(state);
    if (title != m_title || m_tray->icon().isNull())
        m_tray->setIcon(icon(state));
    m_title = title;
    m_toolTip = StatusItemText::toolTip(state);
    m_tray->setToolTip(StatusItemText::toolTipForHost(m_toolTip, m_hostReadsMarkup));
    emit changed();
}

std::optional<QRect> StatusItem::geometry() const {
    const QRect rect = m_tray->geometry();
    if (rect.isEmpty())
        return std::nullopt;
    return rect;
}

bool StatusItem::isHostAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

namespace {

// Clears a ring around a badge so that it stands apart from the tile under it.
void clearAround(QPainter& painter, const QPainterPath& shape, qreal ring) {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.setPen(QPen(Qt::black, 2 * ring));
    painter.setBrush(Qt::black);
    painter.drawPath(shape);
    painter.restore();
}

QPainterPath pill(const QRectF& rect) {
    QPainterPath path;
    const qreal radius = std::min(rect.width(), rect.height()) / 2;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

QPixmap StatusItem::iconPixmap(int side, const StatusItemState& state) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Tray panels are light or dark whatever the program's own appearance: the light values read on both.
    const QRectF tile(0, 0, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::accent.resolved(Appearance::light));
    painter.drawRoundedRect(tile, side * 0.22, side * 0.22);
    // The waveform runs across the middle of the tile, so the badges go in the right-hand corners, each
    // under half the side, with a ring cleared around it; the waveform moves aside from them, whole.
    const bool count = state.count > 0, update = state.availableVersion.has_value();
    const QPointF aside = count && update ? QPointF(-0.14, 0)
                          : count         ? QPointF(-0.09, 0.11)
                          : update        ? QPointF(-0.09, -0.11)
                                          : QPointF();
    const qreal inset = side * 0.16;
    LVSymbol("waveform.path.ecg")
        .paint(painter, tile.adjusted(inset, inset, -inset, -inset).translated(aside * side),
               Palette::onAccent.resolved(Appearance::light));

    const qreal diameter = std::round(side * 0.42);
    const qreal ring = std::max(1.0, side / 22.0);
    const QColor onBadge = Palette::onAccent.resolved(Appearance::light);
    if (count) {
        const QString text = state.count > 9 ? QStringLiteral("9+") : QString::number(state.count);
        QFont font =
            Fonts::system(std::max(6, static_cast<int>(std::round(diameter * 0.8))), FontWeight::bold);
        const QFontMetricsF metrics(font);
        const qreal width = std::max(diameter, std::ceil(metrics.horizontalAdvance(text)) + diameter * 0.3);
        const QPainterPath shape = pill(QRectF(side - width, 0, width, diameter));
        clearAround(painter, shape, ring);
        painter.fillPath(shape, Palette::danger.resolved(Appearance::light));
        painter.setPen(onBadge);
        painter.setFont(font);
        painter.drawText(shape.boundingRect(), Qt::AlignCenter, text);
    }
    if (update) {
        const QRectF area(side - diameter, side - diameter, diameter, diameter);
        const QPainterPath shape = pill(area);
        clearAround(painter, shape, ring);
        painter.fillPath(shape, Palette::success.resolved(Appearance::light));
        // An upward arrow drawn as lines: a glyph this small would blur.
        const qreal reach = diameter * 0.28;
        const QPointF centre = area.center();
        QPen pen(onBadge, std::max(1.2, diameter * 0.14), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(QPointF(centre.x(), centre.y() + reach), QPointF(centre.x(), centre.y() - reach));
        painter.drawPolyline(QPolygonF({QPointF(centre.x() - reach * 0.8, centre.y() - reach * 0.1),
                                        QPointF(centre.x(), centre.y() - reach),
                                        QPointF(centre.x() + reach * 0.8, centre.y() - reach * 0.1)}));
    }
    return pixmap;
}

QIcon StatusItem::icon(const StatusItemState& state) {
    QIcon result;
    for (const int side : {16, 22, 24, 32, 48, 64})
        result.addPixmap(iconPixmap(side, state));
    return result;
}

} // namespace lunorvale
