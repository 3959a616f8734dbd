#include "ui/kit/Palette.h"

#include "ui/kit/KitStyle.h"

#include <QApplication>
#include <QStyle>
#include <QToolTip>
#include <QWidget>

namespace lunorvale {

QColor AdaptiveColor::resolved(Appearance appearance) const {
    return QColor::fromRgba(appearance == Appearance::dark ? dark : light);
}

QColor AdaptiveColor::in(const QWidget* widget) const {
    return resolved(Palette::appearanceOf(widget));
}

Appearance Palette::appearanceOf(const QPalette& palette) {
    return palette.color(QPalette::Active, QPalette::Window).lightnessF() < 0.5 ? Appearance::dark
                                                                                : Appearance::light;
}

Appearance Palette::appearanceOf(const QWidget* widget) {
    return widget ? appearanceOf(widget->palette()) : Appearance::light;
}

QPalette Palette::qtPalette(Appearance appearance) {
    const auto c = [appearance](const AdaptiveColor& color) {
        return color.resolved(appearance);
    };
    QPalette palette;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool disabled = group == QPalette::Disabled;
        palette.setColor(group, QPalette::Window, c(canvas));
        palette.setColor(group, QPalette::WindowText, c(disabled ? muted : ink));
        palette.setColor(group, QPalette::Base, c(surface));
        palette.setColor(group, QPalette::AlternateBase, c(secondary));
        palette.setColor(group, QPalette::Text, c(disabled ? muted : ink));
        palette.setColor(group, QPalette::PlaceholderText, c(muted));
        palette.setColor(group, QPalette::Button, c(surface));
        palette.setColor(group, QPalette::ButtonText, c(disabled ? muted : ink));
        palette.setColor(group, QPalette::BrightText, c(onAccent));
        palette.setColor(group, QPalette::Light, c(surface));
        palette.setColor(group, QPalette::Midlight, c(secondary));
        palette.setColor(group, QPalette::Mid, c(line));
        palette.setColor(group, QPalette::Dark, c(line).darker(appearance == Appearance::dark ? 80 : 120));
        palette.setColor(group, QPalette::Shadow, c(ink));
        palette.setColor(group, QPalette::Highlight, c(disabled ? line : accent));
        palette.setColor(group, QPalette::HighlightedText, c(disabled ? muted : onAccent));
        palette.setColor(group, QPalette::Link, c(accent));
        palette.setColor(group, QPalette::LinkVisited, c(accent));
        palette.setColor(group, QPalette::ToolTipBase, c(surface));
        palette.setColor(group, QPalette::ToolTipText, c(ink));
    }
    return palette;
}

void Palette::apply(Appearance appearance) {
    // Setting a style repolishes every widget, so it happens only the first time.
    if (!qobject_cast<KitStyle*>(QApplication::style()))
        QApplication::setStyle(new KitStyle);
    const QPalette palette = qtPalette(appearance);
    QApplication::setPalette(palette);
    QToolTip::setPalette(palette);
}

} // namespace lunorvale
