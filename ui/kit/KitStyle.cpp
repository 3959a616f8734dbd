#include "ui/kit/KitStyle.h"

#include "ui/kit/FocusRing.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace lunorvale {

namespace {

constexpr int barExtent = 10;
constexpr int handleInset = 2; // the handle is drawn this far inside the bar on its narrow sides
constexpr int shortestHandle = 28;
constexpr char destructiveProperty[] = "lunorvaleDestructive";

// The handle's length and start along a bar of `length` pixels.
std::pair<int, int> handleSpan(const QStyleOptionSlider& bar, int length) {
    const int range = bar.maximum - bar.minimum;
    int size = length;
    if (range > 0) {
        const qint64 page = std::max(bar.pageStep, 1);
        size = static_cast<int>(qint64(length) * page / (range + page));
        size = std::clamp(size, std::min(shortestHandle, length), length);
    }
    const int start = QStyle::sliderPositionFromValue(bar.minimum, bar.maximum, bar.sliderPosition,
                                                      length - size, bar.upsideDown);
    return {size, start};
}

} // namespace

KitStyle::KitStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

QColor KitStyle::grooveColor(Appearance appearance) {
    return Palette::secondary.resolved(appearance);
}

QColor KitStyle::handleColor(Appearance appearance, bool active) {
    // The muted ink, lighter at rest: it reads against the groove on a white page and a dark one.
    QColor color = Palette::muted.resolved(appearance);
    const QColor groove = grooveColor(appearance);
    const qreal share = active ? 0.85 : 0.6;
    return QColor::fromRgbF(color.redF() * share + groove.redF() * (1 - share),
                            color.greenF() * share + groove.greenF() * (1 - share),
                            color.blueF() * share + groove.blueF() * (1 - share));
}

void KitStyle::setDestructive(QAction* action) {
    action->setProperty(destructiveProperty, true);
}

bool KitStyle::isDestructive(const QAction* action) {
    return action && action->property(destructiveProperty).toBool();
}

void KitStyle::polish(QWidget* widget) {
    QProxyStyle::polish(widget);
    // Clicks must put the window out of keyboard use for the field's ring to go.
    if (qobject_cast<QLineEdit*>(widget))
        FocusRing::follow();
}

void KitStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                             const QWidget* widget) const {
    if (element != PE_FrameLineEdit || !(option->state & State_HasFocus)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    QStyleOption resting = *option;
    resting.state &= ~State_HasFocus;
    QProxyStyle::drawPrimitive(element, &resting, painter, widget);
    if (widget && FocusRing::shown(*widget)) {
        // On the frame, where the text margins keep it clear of the text.
        FocusRing::paint(*painter, option->rect, 3, *widget);
    }
}

void KitStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                           const QWidget* widget) const {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    const auto* menu = qobject_cast<const QMenu*>(widget);
    // The option does not name its action: the menu finds it under the item.
    if (element == CE_MenuItem && item && menu && !(item->state & State_Selected) &&
        isDestructive(menu->actionAt(item->rect.center()))) {
        QStyleOptionMenuItem danger = *item;
        const QColor color = Palette::danger.resolved(Palette::appearanceOf(item->palette));
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
            for (const QPalette::ColorRole role :
                 {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
                danger.palette.setColor(group, role, color);
        QProxyStyle::drawControl(element, &danger, painter, widget);
        return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

int KitStyle::pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const {
    switch (metric) {
    case PM_ScrollBarExtent:
        return barExtent;
    case PM_ScrollBarSliderMin:
        return shortestHandle;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int KitStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                        QStyleHintReturn* returnData) const {
    // A click in the groove moves the page towards it, as with arrow buttons gone it is the only way.
    if (hint == SH_ScrollBar_LeftClickAbsolutePosition)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QRect KitStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                               SubControl subControl, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar)
        return QProxyStyle::subControlRect(control, option, subControl, widget);
    const QRect area = bar->rect;
    const bool horizontal = bar->orientation == Qt::Horizontal;
    const int length = horizontal ? area.width() : area.height();
    const auto [size, start] = handleSpan(*bar, length);
    const auto span = [&](int from, int to) {
        return horizontal ? QRect(from, 0, to - from, area.height())
                          : QRect(0, from, area.width(), to - from);
    };
    QRect result;
    switch (subControl) {
    case SC_ScrollBarGroove:
        result = span(0, length);
        break;
    case SC_ScrollBarSlider:
        result = span(start, start + size);
        break;
    case SC_ScrollBarSubPage:
        result = span(0, start);
        break;
    case SC_ScrollBarAddPage:
        result = span(start + size, length);
        break;
    default: // no arrow buttons, no first and last buttons
        return {};
    }
    return visualRect(bar->direction, area, result.translated(area.topLeft()));
}

void KitStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                  QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const Appearance appearance = Palette::appearanceOf(option->palette);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->fillRect(bar->rect, grooveColor(appearance));
    if (bar->maximum > bar->minimum) {
        const bool horizontal = bar->orientation == Qt::Horizontal;
        QRectF handle = subControlRect(control, option, SC_ScrollBarSlider, widget);
        handle = horizontal ? handle.adjusted(1, handleInset, -1, -handleInset)
                            : handle.adjusted(handleInset, 1, -handleInset, -1);
        const bool active = (bar->activeSubControls & SC_ScrollBarSlider) && (bar->state & State_MouseOver);
        const bool dragged = (bar->activeSubControls & SC_ScrollBarSlider) && (bar->state & State_Sunken);
        const qreal radius = std::min(handle.width(), handle.height()) / 2;
        QPainterPath path;
        path.addRoundedRect(handle, radius, radius);
        painter->fillPath(path, handleColor(appearance, active || dragged));
    }
    painter->restore();
}

} // namespace lunorvale
