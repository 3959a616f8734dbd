#pragma once

#include <QString>

class QFontMetricsF;

namespace lunorvale {

// `text` cut at its right end to fit `width`, with "…" for the rest, as QFontMetricsF::elidedText cuts
// it: by whole characters as the reader sees them (grapheme clusters). Where not even the first of
// them fits beside the "…" (a letter under a pile of combining marks is as wide as the pile), its base
// letter stays with as many of its marks as fit, so that a row never shows a lone "…" for a name.
QString elidedRight(const QFontMetricsF& metrics, const QString& text, qreal width);

} // namespace lunorvale
