#include "ui/kit/Fonts.h"

#include <QApplication>

namespace lunorvale {

namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::regular:
        return QFont::Normal;
    case FontWeight::medium:
        return QFont::Medium;
    case FontWeight::semibold:
        return QFont::DemiBold;
    case FontWeight::bold:
        return QFont::Bold;
    case FontWeight::light:
        return QFont::Light;
    }
    return QFont::Normal;
}

} // namespace

QFont Fonts::system(int pixelSize, FontWeight weight) {
    QFont font{QString::fromLatin1(family)};
    font.setPixelSize(pixelSize);
    font.setWeight(qtWeight(weight));
    return font;
}

QFont Fonts::monospacedDigits(int pixelSize, FontWeight weight) {
    // Noto Sans CJK's figures are tabular by default, and Qt 6.4 cannot switch font features on, so
    // the text family itself serves (the kit's tests check the advances).
    return system(pixelSize, weight);
}

void Fonts::install() {
    QApplication::setFont(system(13));
}

} // namespace lunorvale
