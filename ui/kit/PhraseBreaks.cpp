#include "ui/kit/PhraseBreaks.h"

#include <limits>
#include <vector>

namespace lunorvale::PhraseBreaks {

namespace {

bool endsClause(QChar c) {
    return QStringView(u"。！？；：，、").contains(c);
}

bool endsLatinClause(QChar c) {
    return QStringView(u".!?;:,").contains(c);
}

bool closes(QChar c) {
    return QStringView(u"”’」』）》】").contains(c);
}

// The places a line may start: after a clause's mark (and the quote or bracket it closes), or after
// the spaces that follow a Latin one.
std::vector<qsizetype> pauses(QStringView text) {
    std::vector<qsizetype> out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype next = i + 1;
        if (endsClause(text[i])) {
            while (next < text.size() && closes(text[next]))
                ++next;
        } else if (endsLatinClause(text[i]) && next < text.size() && text[next].isSpace()) {
            while (next < text.size() && text[next].isSpace())
                ++next;
        } else {
            continue;
        }
        if (next < text.size() && (out.empty() || out.back() < next))
            out.push_back(next);
        i = next - 1;
    }
    return out;
}

QStringView withoutTrailingSpaces(QStringView line) {
    while (!line.isEmpty() && line.back().isSpace())
        line.chop(1);
    return line;
}

} // namespace

QList<qsizetype> breaks(QStringView paragraph, qreal width, int lines,
                        const std::function<qreal(QStringView)>& measure) {
    if (lines < 2)
        return {};
    std::vector<qsizetype> bounds{0};
    for (const qsizetype pause : pauses(paragraph))
        bounds.push_back(pause);
    bounds.push_back(paragraph.size());
    const size_t ends = bounds.size();
    const auto count = static_cast<size_t>(lines);
    if (ends - 1 < count)
        return {};

    // Minimised: the sum of the squared line widths, which for one text on a given number of lines is
    // smallest where the lines are most even.
    constexpr qreal none = std::numeric_limits<qreal>::infinity();
    std::vector<std::vector<qreal>> fits(ends, std::vector<qreal>(ends, none));
    for (size_t start = 0; start < ends; ++start) {
        for (size_t end = start + 1; end < ends; ++end) {
            const QStringView line = paragraph.sliced(bounds[start], bounds[end] - bounds[start]);
            const qreal w = measure(withoutTrailingSpaces(line));
            if (w > width)
                break; // a longer line is wider still
            fits[start][end] = w * w;
        }
    }
    // cost[l][e]: the text up to bounds[e] on l lines; last[l][e]: where the last of those lines starts.
    std::vector<std::vector<qreal>> cost(count + 1, std::vector<qreal>(ends, none));
    std::vector<std::vector<size_t>> last(count + 1, std::vector<size_t>(ends, 0));
    cost[0][0] = 0;
    for (size_t l = 1; l <= count; ++l) {
        for (size_t end = l; end < ends; ++end) {
            for (size_t start = l - 1; start < end; ++start) {
                const qreal total = cost[l - 1][start] + fits[start][end];
                if (total < cost[l][end]) {
                    cost[l][end] = total;
                    last[l][end] = start;
                }
            }
        }
    }
    if (cost[count][ends - 1] == none)
        return {};
    QList<qsizetype> out;
    for (size_t l = count, end = ends - 1; l > 1; --l) {
        end = last[l][end];
        out.prepend(bounds[end]);
    }
    return out;
}

} // namespace lunorvale::PhraseBreaks
