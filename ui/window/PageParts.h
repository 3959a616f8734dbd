#pragma once

#include "ui/kit/LVSymbol.h"
#include "ui/kit/Palette.h"

#include <QFont>
#include <QWidget>
#include <optional>

class QLayout;

namespace lunorvale {

class LVText;

// Small pieces the processes and history pages, their sheets and the popover build from.
namespace PageParts {

// The monospaced design (commands, paths, addresses), CJK included.
QFont monospaced(int pixelSize);
// A symbol before a wrapping text, both in one colour, the symbol on the first line.
QWidget* symbolText(const LVSymbol& symbol, const QString& text, const QFont& font, AdaptiveColor color,
                    qreal lineSpacing = 0, LVText** textOut = nullptr);
// `content` with `padding` around it.
QWidget* padded(QWidget* content, int left, int top, int right, int bottom);
inline QWidget* padded(QWidget* content, int padding) {
    return padded(content, padding, padding, padding, padding);
}

} // namespace PageParts
} // namespace lunorvale
