#pragma once

#include <QRectF>
#include <QString>

class QPainter;
class QWidget;

namespace lunorvale {

class ApplicationIconLoader;

// An application's icon, painted into the 32 × 32 frame of a row or the details' header: the bundle's
// own icon once it has loaded, the tinted "app.fill" symbol until then, and always without a loader
// (preview). Painted by its host, so it is no element of its own for assistive technology.
namespace ApplicationIcon {

inline constexpr int side = 32;

void paint(QPainter& painter, const QRectF& frame, ApplicationIconLoader* icons, const QString& bundlePath,
           const QWidget* widget);
// Whether the bundle's own icon is what paint draws.
bool showsOwnIcon(ApplicationIconLoader* icons, const QString& bundlePath, const QWidget* widget);

} // namespace ApplicationIcon
} // namespace lunorvale
