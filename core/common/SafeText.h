#pragma once

#include <QString>

namespace lunorvale::SafeText {

// The text without what must never reach the screen or the disk from outside the program (AI replies,
// the names in desktop files):
// - control characters (category Cc) other than tab, line feed and carriage return, each together with
//   the rest of the terminal escape sequence it begins, so that ESC "[31m" goes whole rather than
//   leaving "[31m" behind (a control sequence up to its final character, a string such as a window
//   title up to BEL or ST, a short escape up to its final character);
// - the bidirectional marks, embeddings, overrides and isolates (U+200E, U+200F, U+202A to U+202E,
//   U+2066 to U+2069), which can make a text read differently from what it holds;
// - UTF-16 surrogates that are not part of a pair.
// What it returns holds none of these, so a second pass changes nothing. Linear in the text's length.
QString withoutUnsafeCharacters(const QString& text);

} // namespace lunorvale::SafeText
