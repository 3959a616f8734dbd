#pragma once

#include <QFont>

namespace lunorvale {

enum class FontWeight { regular, medium, semibold, bold, light };

// The program's fonts. Sizes are pixels (a point of the design is a pixel here).
//
// Debian's fonts-noto-cjk has only a Regular and a Bold face: medium and light draw Regular, semibold
// draws Bold. The weights are still asked for by name, so a machine with more faces uses them.
struct Fonts final {
    static constexpr const char* family = "Noto Sans CJK SC";

    static QFont system(int pixelSize, FontWeight weight = FontWeight::regular);
    // For figures that change while shown and for list columns: every digit has the same advance.
    static QFont monospacedDigits(int pixelSize, FontWeight weight = FontWeight::regular);

    // The program's default font: the text family at 13 pixels.
    static void install();
};

} // namespace lunorvale
