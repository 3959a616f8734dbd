#include "app/shell/StatusItem.h"

#include "ui/kit/Fonts.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QSystemTrayIcon>

namespace lunorvale {

StatusItem::StatusItem(QMenu* contextMenu, QObject* parent)
    : QObject(parent), m_tray(new QSystemTrayIcon(this)) {
    m_tray->setIcon(icon(QString()));
    m_tray->setToolTip(StatusItemText::toolTipMarkup(m_toolTip));
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
        m_tray->setIcon(icon(title));
    m_title = title;
    m_toolTip = StatusItemText::toolTip(state);
    m_tray->setToolTip(StatusItemText::toolTipMarkup(m_toolTip));
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

QPixmap paintIcon(int side, const QString& title) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    // Tray panels are light or dark whatever the program's own appearance: the light values read on both.
    const QRectF tile(0, 0, side, side);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Palette::accent.resolved(Appearance::light));
    painter.drawRoundedRect(tile, side * 0.22, side * 0.22);
    const qreal inset = side * 0.16;
    LVSymbol("waveform.path.ecg")
        .paint(painter, tile.adjusted(inset, inset, -inset, -inset),
               Palette::onAccent.resolved(Appearance::light));

    const QString badge = title.trimmed();
    if (badge.isEmpty())
        return pixmap;
    QFont font = Fonts::system(std::max(7, side * 9 / 16), FontWeight::bold);
    const QFontMetricsF metrics(font);
    const qreal height = std::ceil(metrics.height());
    const qreal width =
        std::min<qreal>(side, std::max(height, metrics.horizontalAdvance(badge) + height * 0.5));
    const QRectF pill(side - width, side - height, width, height);
    painter.setBrush(Palette::danger.resolved(Appearance::light));
    painter.drawRoundedRect(pill, height / 2, height / 2);
    painter.setPen(Palette::onAccent.resolved(Appearance::light));
    painter.setFont(font);
    painter.drawText(pill, Qt::AlignCenter, badge);
    return pixmap;
}

} // namespace

QIcon StatusItem::icon(const QString& title) {
    QIcon result;
    for (const int side : {16, 22, 24, 32, 48, 64})
        result.addPixmap(paintIcon(side, title));
    return result;
}

} // namespace lunorvale
