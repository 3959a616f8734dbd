#pragma once

#include <QList>
#include <QStringView>
#include <functional>

namespace lunorvale::PhraseBreaks {

// Where a paragraph that plain wrapping sets on `lines` lines breaks instead so that every line ends
// where a reader pauses (after a punctuation mark) and the lines are as even as those pauses allow: the
// positions in `paragraph` that start a new line. No line is wider than `width` as `measure` gives it
// (trailing spaces left out), and there are exactly `lines` lines. Empty when `lines` is below 2 or the
// pauses allow no such lines; the paragraph then wraps as usual.
QList<qsizetype> breaks(QStringView paragraph, qreal width, int lines,
                        const std::function<qreal(QStringView)>& measure);

} // namespace lunorvale::PhraseBreaks
