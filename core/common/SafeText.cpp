#include "core/common/SafeText.h"

#include <limits>

namespace lunorvale::SafeText {
namespace {

constexpr char16_t escape = 0x1B;
constexpr char16_t bell = 0x07;
constexpr char16_t stringTerminator = 0x9C;

bool isControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || (c >= 0x7F && c <= 0x9F);
}

// The bidirectional controls, and the format characters that draw nothing: a name made of them looks
// empty, and one among letters joins, splits or hides them unseen. U+FEFF is also read as a byte-order
// mark, so a text that begins with it would not read back as itself.
bool isBidirectionalOrInvisible(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069) || (c >= 0x200B && c <= 0x200D) || (c >= 0x2060 && c <= 0x2064) ||
           c == 0xFEFF;
}

// The tag characters, U+E0000 to U+E007F, as the pairs of surrogates that hold them.
bool isTag(char16_t high, char16_t low) {
    return high == 0xDB40 && low <= 0xDC7F;
}

bool within(char16_t c, char16_t low, char16_t high) {
    return c >= low && c <= high;
}

// Scans the escape sequences of one text. Strings (a window title, a hyperlink) end at BEL or ST; where
// none follows, no later string can end either, which keeps a text full of unended strings linear.
class Sequences final {
public:
    explicit Sequences(const QString& text) : m_text(text) {}

    // The index after the escape sequence that the control character at `at` begins; `at + 1` when it
    // begins none.
    qsizetype end(qsizetype at) {
        const qsizetype size = m_text.size();
        const char16_t introducer = m_text.at(at).unicode();
        qsizetype next = at + 1;
        char16_t kind = 0;
        if (introducer == escape) {
            if (next == size)
                return next;
            const char16_t c = m_text.at(next).unicode();
            if (c == u'[' || c == u']' || c == u'P' || c == u'X' || c == u'^' || c == u'_') {
                kind = c;
                ++next;
            } else {
                // A short escape: intermediates, then a final character.
                qsizetype k = next;
                while (k < size && within(m_text.at(k).unicode(), 0x20, 0x2F))
                    ++k;
                return k < size && within(m_text.at(k).unicode(), 0x30, 0x7E) ? k + 1 : next;
            }
        } else {
            // The eight-bit introducers stand for ESC and the character 0x40 below them.
            switch (introducer) {
            case 0x9B:
                kind = u'[';
                break;
            case 0x9D:
                kind = u']';
                break;
            case 0x90:
                kind = u'P';
                break;
            case 0x98:
                kind = u'X';
                break;
            case 0x9E:
                kind = u'^';
                break;
            case 0x9F:
                kind = u'_';
                break;
            default:
                return next;
            }
        }
        if (kind == u'[') {
            // Parameters, intermediates, a final character; a sequence cut short goes as far as it got.
            qsizetype k = next;
            while (k < size && within(m_text.at(k).unicode(), 0x30, 0x3F))
                ++k;
            while (k < size && within(m_text.at(k).unicode(), 0x20, 0x2F))
                ++k;
            return k < size && within(m_text.at(k).unicode(), 0x40, 0x7E) ? k + 1 : k;
        }
        if (next >= m_unended)
            return next;
        for (qsizetype k = next; k < size; ++k) {
            const char16_t c = m_text.at(k).unicode();
            if (c == bell || c == stringTerminator)
                return k + 1;
            if (c == escape && k + 1 < size && m_text.at(k + 1) == u'\\')
                return k + 2;
        }
        // Without an end only the introducer goes; the text after it stays.
        m_unended = next;
        return next;
    }

private:
    const QString& m_text;
    qsizetype m_unended = std::numeric_limits<qsizetype>::max();
};

} // namespace

QString withoutUnsafeCharacters(const QString& text) {
    QString result;
    result.reserve(text.size());
    Sequences sequences(text);
    for (qsizetype i = 0; i < text.size();) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            if (!isTag(c, text.at(i + 1).unicode())) {
                result.append(text.at(i));
                result.append(text.at(i + 1));
            }
            i += 2;
            continue;
        }
        if (isControl(c)) {
            i = sequences.end(i);
            continue;
        }
        if (!isBidirectionalOrInvisible(c) && !QChar::isSurrogate(c))
            result.append(text.at(i));
        ++i;
    }
    return result;
}

std::optional<QString> oneLine(const QString& text) {
    QString kept = withoutUnsafeCharacters(text).simplified();
    if (kept.isEmpty())
        return std::nullopt;
    return kept;
}

QString isolated(const QString& text) {
    return QChar(0x2068) + text + QChar(0x2069);
}

} // namespace lunorvale::SafeText
