#include "core/common/SafeText.h"

#include "platform/files/CheckedFiles.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace lunorvale::SafeText {
namespace {

constexpr char16_t escape = 0x1B;
constexpr char16_t bell = 0x07;
constexpr char16_t stringTerminator = 0x9C;
constexpr char16_t leftToRightIsolate = 0x2066;
constexpr char16_t firstStrongIsolate = 0x2068;
constexpr char16_t popIsolate = 0x2069;

bool isControl(char16_t c) {
    return (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || (c >= 0x7F && c <= 0x9F);
}

// The invisible characters: Unicode's Default_Ignorable_Code_Point set, and the braille blank.
// Default_Ignorable_Code_Point (DerivedCoreProperties) holds the bidirectional marks, embeddings,
// overrides and isolates, the joiners and zero-width spaces, the soft hyphen, the variation selectors,
// the Hangul fillers, the tags and the code points kept for more of the same: U+00AD, U+034F, U+061C,
// U+115F to U+1160, U+17B4 to U+17B5, U+180B to U+180F, U+200B to U+200F, U+202A to U+202E, U+2060 to
// U+206F, U+3164, U+FE00 to U+FE0F, U+FEFF, U+FFA0, U+FFF0 to U+FFF8, U+1BCA0 to U+1BCA3, U+1D173 to
// U+1D17A, U+E0000 to U+E0FFF. Besides them the format characters that draw nothing either: the
// interlinear annotation marks, U+FFF9 to U+FFFB, and the Egyptian hieroglyph format controls, U+13430
// to U+1343F. The braille blank, U+2800, draws as an empty cell. A name made of them
// looks empty; one among letters joins, splits, hides or reorders them unseen. U+FEFF is also read as
// a byte-order mark, so a text that begins with it would not read back as itself.
bool isInvisible(char32_t c) {
    if (c < 0x00AD)
        return false;
    if (c <= 0xFFFF)
        return c == 0x00AD || c == 0x034F || c == 0x061C || c == 0x115F || c == 0x1160 || c == 0x17B4 ||
               c == 0x17B5 || (c >= 0x180B && c <= 0x180F) || (c >= 0x200B && c <= 0x200F) ||
               (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0x2800 || c == 0x3164 ||
               (c >= 0xFE00 && c <= 0xFE0F) || c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFFB);
    return (c >= 0x13430 && c <= 0x1343F) || (c >= 0x1BCA0 && c <= 0x1BCA3) ||
           (c >= 0x1D173 && c <= 0x1D17A) || (c >= 0xE0000 && c <= 0xE0FFF);
}

// Where a byte that is no UTF-8 stands in a decoded text (see decoded): a lone low surrogate.
constexpr char16_t byteBase = CheckedFiles::byteSurrogateBase;

bool isByte(char32_t c, qsizetype length) {
    return length == 1 && c >= byteBase + 0x80 && c <= byteBase + 0xFF;
}

// The code point at `at` and the units it takes; a lone surrogate stands for itself.
std::pair<char32_t, qsizetype> codePointAt(const QString& text, qsizetype at) {
    const char16_t c = text.at(at).unicode();
    if (QChar::isHighSurrogate(c) && at + 1 < text.size() && QChar::isLowSurrogate(text.at(at + 1).unicode()))
        return {QChar::surrogateToUcs4(c, text.at(at + 1).unicode()), 2};
    return {c, 1};
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
        const auto [c, length] = codePointAt(text, i);
        if (c <= 0xFFFF && isControl(char16_t(c))) {
            i = sequences.end(i);
            continue;
        }
        if (isByte(c, length))
            result.append(QChar::ReplacementCharacter);
        else if (!isInvisible(c) && (length == 2 || !QChar::isSurrogate(c)))
            result.append(text.constData() + i, length);
        i += length;
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
    return QChar(firstStrongIsolate) + text + QChar(popIsolate);
}

namespace {

// What verbatim writes as an escape: whatever acts rather than shows, the line and paragraph separators
// included, and a lone surrogate, which shows as nothing it is.
bool isEscaped(char32_t c, qsizetype length) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || isInvisible(c) ||
           (length == 1 && QChar::isSurrogate(c));
}

void appendEscape(QString& shown, char32_t c, qsizetype length) {
    if (isByte(c, length)) {
        shown.append(QLatin1String("\\x"));
        shown.append(QString::number(c - byteBase, 16).toUpper());
        return;
    }
    switch (c) {
    case u'\n':
        shown.append(QLatin1String("\\n"));
        return;
    case u'\t':
        shown.append(QLatin1String("\\t"));
        return;
    case u'\r':
        shown.append(QLatin1String("\\r"));
        return;
    default:
        break;
    }
    const bool wide = c > 0xFFFF;
    shown.append(wide ? QLatin1String("\\U") : QLatin1String("\\u"));
    shown.append(QString::number(c, 16).toUpper().rightJustified(wide ? 8 : 4, u'0'));
}

// The characters that make an escape after a backslash.
bool isEscapeLetter(char32_t c) {
    return c == u'n' || c == u't' || c == u'r' || c == u'u' || c == u'U' || c == u'x' || c == u'\\';
}

// The value of exactly `digits` hexadecimal digits at `at`; absent when anything else stands there.
std::optional<char32_t> hexadecimal(const QString& text, qsizetype at, qsizetype digits) {
    if (at + digits > text.size())
        return std::nullopt;
    char32_t value = 0;
    for (qsizetype k = at; k < at + digits; ++k) {
        const char16_t c = text.at(k).unicode();
        const int digit = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + char32_t(digit);
    }
    return value;
}

// The character a backslash at `at` of a verbatim text begins, and the units its escape takes; a lone
// backslash, one before nothing an escape can be, stands for itself.
std::pair<QString, qsizetype> unescaped(const QString& shown, qsizetype at) {
    const QChar next = at + 1 < shown.size() ? shown.at(at + 1) : QChar();
    if (next == u'n')
        return {QStringLiteral("\n"), 2};
    if (next == u't')
        return {QStringLiteral("\t"), 2};
    if (next == u'r')
        return {QStringLiteral("\r"), 2};
    if (next == u'\\')
        return {QStringLiteral("\\"), 2};
    // A byte that is no UTF-8 has no character to stand for: it copies as its escape, which tells it
    // from any other byte and from U+FFFD.
    if (next == u'x' && hexadecimal(shown, at + 2, 2))
        return {shown.sliced(at, 4), 4};
    if (next == u'u' || next == u'U') {
        const qsizetype digits = next == u'u' ? 4 : 8;
        const std::optional<char32_t> c = hexadecimal(shown, at + 2, digits);
        // A surrogate's escape stands for that one unit.
        if (c && *c <= 0xFFFF)
            return {QString(QChar(char16_t(*c))), digits + 2};
        if (c && *c <= 0x10FFFF)
            return {QString::fromUcs4(&*c, 1), digits + 2};
    }
    return {QStringLiteral("\\"), 1};
}

} // namespace

QString decoded(QByteArrayView bytes) {
    return CheckedFiles::decodedName(bytes);
}

QString escaped(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const auto [c, length] = codePointAt(text, i);
        if (isEscaped(c, length)) {
            appendEscape(shown, c, length);
        } else if (c == u'\\' && i + 1 < text.size()) {
            const auto [after, afterLength] = codePointAt(text, i + 1);
            const bool escapeFollows = isEscaped(after, afterLength) || isEscapeLetter(after);
            shown.append(escapeFollows ? QLatin1String("\\\\") : QLatin1String("\\"));
        } else {
            shown.append(text.constData() + i, length);
        }
        i += length;
    }
    return shown;
}

QString verbatim(const QString& text) {
    return QChar(leftToRightIsolate) + escaped(text) + QChar(popIsolate);
}

QString stored(const QString& text) {
    // Around the text every blank goes, line breaks and tabs too: there they only pad, and would make a
    // plain sentence show as verbatim. Within it only the blanks that draw as blanks join; tabs and line
    // breaks show as their escapes.
    const auto blank = [](QChar c) {
        return c.isSpace() && !isEscaped(c.unicode(), 1);
    };
    const QString trimmed = text.trimmed();
    QString tidy;
    tidy.reserve(trimmed.size());
    bool pending = false;
    for (const QChar c : trimmed) {
        if (blank(c)) {
            pending = !tidy.isEmpty();
            continue;
        }
        if (pending)
            tidy.append(u' ');
        pending = false;
        tidy.append(c);
    }
    const QString held = verbatim(tidy);
    return held.size() == tidy.size() + 2 && QStringView(held).sliced(1, tidy.size()) == tidy ? tidy : held;
}

QString commandLine(const QString& command) {
    QString shown;
    shown.reserve(command.size() + 2);
    shown.append(QChar(leftToRightIsolate));
    // Each argument in an isolate of its own: an argument in a right-to-left script after a program
    // name in one would otherwise join its run and be drawn where the name is expected.
    for (qsizetype start = 0; start <= command.size();) {
        qsizetype end = command.indexOf(u' ', start);
        if (end < 0)
            end = command.size();
        if (end > start)
            shown.append(verbatim(command.sliced(start, end - start)));
        if (end < command.size())
            shown.append(u' ');
        start = end + 1;
    }
    shown.append(QChar(popIsolate));
    return shown;
}

QString copied(const QString& shown, qsizetype from, qsizetype to) {
    QString result;
    to = std::min(to, shown.size());
    bool inVerbatim = false;
    // Every unit, an escape or one character, is walked from the start, so that a range that begins
    // inside a verbatim text or an escape reads it as one.
    for (qsizetype i = 0; i < to;) {
        const QChar c = shown.at(i);
        if (c == QChar(leftToRightIsolate) || c == QChar(firstStrongIsolate) || c == QChar(popIsolate)) {
            // The program's marks; one that is part of a verbatim text is shown escaped.
            inVerbatim = c == QChar(leftToRightIsolate);
            ++i;
        } else if (inVerbatim && c == u'\\') {
            const auto [real, length] = unescaped(shown, i);
            if (i + length > from)
                result.append(real);
            i += length;
        } else {
            if (i >= from)
                result.append(c);
            ++i;
        }
    }
    return result;
}

} // namespace lunorvale::SafeText
