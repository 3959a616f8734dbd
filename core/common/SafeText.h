#pragma once

#include <QString>
#include <optional>

namespace lunorvale::SafeText {

// The text without what must never reach the screen or the disk from outside the program (AI replies,
// the names in desktop files):
// - control characters (category Cc) other than tab, line feed and carriage return, each together with
//   the rest of the terminal escape sequence it begins, so that ESC "[31m" goes whole rather than
//   leaving "[31m" behind (a control sequence up to its final character, a string such as a window
//   title up to BEL or ST, a short escape up to its final character);
// - the bidirectional marks, embeddings, overrides and isolates (U+061C, U+200E, U+200F, U+202A to
//   U+202E, U+2066 to U+2069), which can make a text read differently from what it holds;
// - the format characters that draw nothing (U+200B to U+200D, U+2060 to U+2064, U+FEFF and the tags
//   U+E0000 to U+E007F), which can make a text look empty or like another;
// - UTF-16 surrogates that are not part of a pair.
// What it returns holds none of these, so a second pass changes nothing. Linear in the text's length.
QString withoutUnsafeCharacters(const QString& text);

// A name from outside as it may be shown: without what withoutUnsafeCharacters drops, on one line (tabs
// and line breaks become blanks, runs of blanks one), absent when nothing visible is left, so that the
// caller shows the next name it has.
std::optional<QString> oneLine(const QString& text);

// The text between U+2068 and U+2069 (first-strong isolate, pop directional isolate), for a name or a
// path put into a sentence: whatever its letters' direction, it cannot reorder the words around it.
// Not for a text the user copies as it is, such as a path alone.
QString isolated(const QString& text);

} // namespace lunorvale::SafeText
