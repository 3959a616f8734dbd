#pragma once

#include <QString>
#include <QStringList>

namespace lunorvale {

// Text rules shared by everything that talks to an AI service: what counts as blank, how long a
// text is for a person, which characters are never allowed in keys and replies. What a reply may not
// hold is SafeText's rule, shared with every other text from outside.
namespace AIText {

// Removes, from both ends only, separators (Unicode category Z), U+0009 to U+000D and U+0085.
QString trimmed(const QString& text);

// User-perceived characters (extended grapheme clusters), not code units or bytes.
qsizetype characterCount(const QString& text);

// True when the text holds a character of general category Cc or Cf.
bool containsControlCharacter(const QString& text);

qsizetype utf8Length(const QString& text);

// "localhost", "127.0.0.1", "::1", "[::1]": the hosts a plain-HTTP or keyless service may use.
const QStringList& loopbackHostNames();
// Compares the host in lower case.
bool isLoopbackHost(const QString& host);

// The parts of an absolute address exactly as typed (URL parsers rewrite hosts such as "127.1" or
// "LOCALHOST" and percent escapes such as "%41"): the authority between "scheme://" and the first "/", "?"
// or "#"; its host without user part and port (an IPv6 host keeps its brackets); and the path up to the
// query or fragment. Empty when the text has no "scheme://".
QStringView authorityAsWritten(QStringView address);
QStringView hostAsWritten(QStringView address);
QStringView pathAsWritten(QStringView address);

} // namespace AIText
} // namespace lunorvale
