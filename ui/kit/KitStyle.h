#pragma once

#include "ui/kit/Palette.h"

#include <QProxyStyle>

class QAction;

namespace lunorvale {

// The program's widget style: Fusion, with the kit's scroll bars and destructive menu items. A bar is
// thin and has no arrow buttons; its handle is a rounded bar that stands out from the groove in both
// appearances and darkens under the pointer and while dragged. A menu item marked destructive reads in
// the danger colour, as a destructive button does. Colours are read from the palette at paint time, so
// a change of appearance repaints the bars and menus with the rest. A framed text field shows its focus
// with the kit's ring, after keyboard use only, instead of Fusion's outline on every focus.
class KitStyle final : public QProxyStyle {
    Q_OBJECT
public:
    KitStyle();

    // The groove and the handle (hovered or dragged: `active`) as drawn in `appearance`.
    static QColor grooveColor(Appearance appearance);
    static QColor handleColor(Appearance appearance, bool active);
    // Draws `action`'s menu item in the danger colour (highlighted, in the highlight's own text colour).
    static void setDestructive(QAction* action);
    static bool isDestructive(const QAction* action);

    void polish(QWidget* widget) override;
    using QProxyStyle::polish;
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl subControl,
                         const QWidget* widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;
};

} // namespace lunorvale
