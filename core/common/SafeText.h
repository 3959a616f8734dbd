#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace lunorvale::SafeText {

// The text without what must never reach the screen or the disk from outside the program (AI replies,
// the names in desktop files):
// - control characters (category Cc) other than tab, line feed and carriage return, each together with
//   the rest of the terminal escape sequence it begins, so that ESC "[31m" goes whole rather than
//   leaving "[31m" behind (a control sequence up to its final character, a string such as a window
//   title up to BEL or ST, a short escape up to its final character);
// - the invisible characters (see SafeText.cpp): the bidirectional marks, embeddings, overrides and
//   isolates, which can make a text read differently from what it holds, and whatever else draws
//   nothing, which can make a text look empty or like another;
// - UTF-16 surrogates that are not part of a pair; one that stands for a byte that was no UTF-8 (see
//   decoded) becomes U+FFFD, as such a byte in a name always showed.
// What it returns holds none of these, so a second pass changes nothing. Linear in the text's length.
QString withoutUnsafeCharacters(const QString& text);

// A name from outside as it may be shown: without what withoutUnsafeCharacters drops, on one line (tabs
// and line breaks become blanks, runs of blanks one), absent when nothing visible is left, so that the
// caller shows the next name it has.
std::optional<QString> oneLine(const QString& text);

// The text between U+2068 and U+2069 (first-strong isolate, pop directional isolate), for a name put
// into a sentence: whatever its letters' direction, it cannot reorder the words around it. Not for a
// path: see verbatim.
QString isolated(const QString& text);

// Bytes from the system (a path, a command line) as a text that keeps them all: UTF-8 is decoded, and
// each byte that is none (a Latin-1 name, a sequence cut short) becomes the lone surrogate U+DC80 to
// U+DCFF, which no decoding of UTF-8 gives, so that two different files stay two texts. A name made
// from such a text (withoutUnsafeCharacters, oneLine) shows U+FFFD for each of them, as before. The
// same as CheckedFiles::decodedName: CheckedFiles opens a path made of such texts by the bytes they
// were decoded from.
QString decoded(QByteArrayView bytes);

// A path, a command line or a file name as it is shown: every character of it shows, none acts. Control
// characters, line breaks, the invisible characters and lone surrogates are written as escapes, as a
// file manager shows them: "\n", "\t", "\r", a byte that was no UTF-8 (see decoded) "\x" and two
// hexadecimal digits ("\xFF"), else "\u" and four ("\u202E", "\u0007"), or "\U" and eight beyond
// U+FFFF ("\U000E0041"). A backslash of the text stays one backslash unless an escape could be read
// where it stands (before "n", "t", "r", "u", "U", "x", a backslash or an escape): then it is written
// "\\". The whole is between U+2066 and U+2069 (left-to-right isolate, pop directional isolate): a path
// reads from its root on the left, the words of a sentence around it stay where they are, and the pair
// marks where copied brings back the text behind the escapes.
QString verbatim(const QString& text);

// A text the program stored and reads back (a receipt's state, a history entry's title or detail) as it
// is shown: the blanks around it dropped (line breaks, tabs and carriage returns among them) and each run
// of blanks within it shown as one, so that padding cannot push a part of it to where a line of the
// view's own stands; plain text as it is otherwise, and a text that holds more within it (a line break, a
// control or invisible character, a byte that is no UTF-8) as verbatim shows it. What is stored stays as
// it was.
QString stored(const QString& text);

// What verbatim shows between its isolates: for a list's keyboard search and a screen reader.
QString escaped(const QString& text);

// A command line (arguments joined by blanks) as verbatim shows it, each argument in an isolate of its
// own, so that none is drawn in another's place whatever the direction of its letters.
QString commandLine(const QString& command);

// What copying the characters `from` to `to` of a shown text gives: the program's isolates (U+2066,
// U+2068, U+2069) dropped, and within a verbatim text the characters its escapes stand for, an escape
// the range cuts standing whole; a byte that was no UTF-8 has no character and copies as its escape
// ("\xFF"). Any other character is copied as it is, a U+2069 shown escaped in a file name too.
QString copied(const QString& shown, qsizetype from, qsizetype to);

} // namespace lunorvale::SafeText
