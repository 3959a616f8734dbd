#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

namespace lunorvale {

enum class Appearance { light, dark };

// A colour with one value for light and one for dark windows, chosen when it is drawn.
struct AdaptiveColor {
    QRgb light = 0; // 0xAARRGGBB
    QRgb dark = 0;

    // An opaque colour from two 0xRRGGBB values.
    static constexpr AdaptiveColor rgb(quint32 light, quint32 dark) {
        return {0xFF000000u | light, 0xFF000000u | dark};
    }
    // The same colour in both appearances (a colour a caller picked itself).
    static AdaptiveColor fixed(const QColor& color) { return {color.rgba(), color.rgba()}; }

    QColor resolved(Appearance appearance) const;
    // The value for the appearance `widget` is drawn in; read it at paint time, never keep it.
    QColor in(const QWidget* widget) const;

    friend constexpr bool operator==(const AdaptiveColor&, const AdaptiveColor&) = default;
};

// The thirteen colours every screen draws with, and the appearance windows are drawn in.
struct Palette final {
    static constexpr AdaptiveColor ink = AdaptiveColor::rgb(0x252D3A, 0xEDF2F8);
    static constexpr AdaptiveColor muted = AdaptiveColor::rgb(0x626D7D, 0xA6B1C2);
    static constexpr AdaptiveColor accent = AdaptiveColor::rgb(0x4264CF, 0xA8BAF3);
    static constexpr AdaptiveColor onAccent = AdaptiveColor::rgb(0xFFFFFF, 0x17213A);
    static constexpr AdaptiveColor canvas = AdaptiveColor::rgb(0xF1F3F6, 0x111722);
    static constexpr AdaptiveColor surface = AdaptiveColor::rgb(0xFFFFFF, 0x1B2330);
    static constexpr AdaptiveColor secondary = AdaptiveColor::rgb(0xF6F7FA, 0x151D28);
    static constexpr AdaptiveColor line = AdaptiveColor::rgb(0xE3E7EE, 0x303B4B);
    static constexpr AdaptiveColor soft = AdaptiveColor::rgb(0xECF0FC, 0x28334C);
    static constexpr AdaptiveColor amber = AdaptiveColor::rgb(0x9A601D, 0xE4B574);
    static constexpr AdaptiveColor warning = AdaptiveColor::rgb(0xFFF7EC, 0x332C23);
    static constexpr AdaptiveColor danger = AdaptiveColor::rgb(0xB84343, 0xF09C9C);
    static constexpr AdaptiveColor success = AdaptiveColor::rgb(0x347B66, 0x8ACBB5);

    // Dark exactly when the palette's window colour is dark. Kit widgets ask their own palette, so a
    // window given a dark palette is drawn dark whatever the rest of the program shows.
    static Appearance appearanceOf(const QPalette& palette);
    static Appearance appearanceOf(const QWidget* widget);

    // Qt's colour roles filled from the kit, so plain Qt widgets (fields, lists, menus, scroll bars)
    // match the kit's own.
    static QPalette qtPalette(Appearance appearance);

    // Makes every window of the program draw in `appearance`: the kit's style (once: Fusion with the
    // kit's scroll bars) and the kit's palette for the application and its tooltips. Widgets made afterwards
    // draw in it at once; open widgets learn of it on the next pass of the event loop and repaint, none is
    // rebuilt.
    static void apply(Appearance appearance);
};

} // namespace lunorvale
