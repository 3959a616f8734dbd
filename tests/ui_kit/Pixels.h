#pragma once

#include "ui/kit/Palette.h"

#include <QBoxLayout>
#include <QColor>
#include <QImage>
#include <QWidget>
#include <gtest/gtest.h>
#include <string>

namespace lunorvale::test {

// A shown window of one appearance (set on the window, not the application), its views in a row.
struct Window {
    QWidget widget;
    QBoxLayout* row = new QHBoxLayout(&widget);
    explicit Window(Appearance appearance = Appearance::light, QWidget* view = nullptr) {
        widget.setPalette(Palette::qtPalette(appearance));
        widget.setAutoFillBackground(true);
        if (view)
            show(view);
    }
    void show(QWidget* view) {
        row->addWidget(view);
        widget.show();
    }
    // One image pixel per logical pixel.
    QImage image() { return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32); }
};

// `top` at `opacity` over the opaque `bottom`, as a painter composes them.
inline QColor over(const QColor& top, qreal opacity, const QColor& bottom) {
    const auto mix = [opacity](int a, int b) {
        return qRound(a * opacity + b * (1 - opacity));
    };
    return QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()),
                  mix(top.blue(), bottom.blue()));
}

inline std::string hex(const QColor& color) {
    return color.name().toStdString();
}

// Channels within `tolerance` (rounding of antialiased and blended paint).
inline ::testing::AssertionResult near(const QColor& actual, const QColor& expected, int tolerance = 2) {
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << hex(actual) << " is not " << hex(expected);
}

} // namespace lunorvale::test
