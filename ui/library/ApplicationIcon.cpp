#include "ui/library/ApplicationIcon.h"

#include "platform/gui/ApplicationIconLoader.h"
#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QPainter>
#include <QWidget>
#include <cmath>

namespace lunorvale::ApplicationIcon {
namespace {

std::optional<QImage> loaded(ApplicationIconLoader* icons, const QString& bundlePath, const QWidget* widget) {
    if (!icons || bundlePath.isEmpty())
        return std::nullopt;
    const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
    std::optional<QImage> image = icons->icon(bundlePath, int(std::ceil(side * ratio)));
    if (image && image->isNull())
        return std::nullopt;
    return image;
}

} // namespace

void paint(QPainter& painter, const QRectF& frame, ApplicationIconLoader* icons, const QString& bundlePath,
           const QWidget* widget) {
    if (const std::optional<QImage> image = loaded(icons, bundlePath, widget)) {
        QRectF target(QPointF(0, 0), QSizeF(image->size()).scaled(frame.size(), Qt::KeepAspectRatio));
        target.moveCenter(frame.center());
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(target, *image);
        painter.restore();
        return;
    }
    LVSymbol("app.fill").paint(painter, frame.adjusted(4, 4, -4, -4), Palette::accent.in(widget));
}

bool showsOwnIcon(ApplicationIconLoader* icons, const QString& bundlePath, const QWidget* widget) {
    return loaded(icons, bundlePath, widget).has_value();
}

} // namespace lunorvale::ApplicationIcon
