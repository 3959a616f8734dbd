#pragma once

// How a failed check shows Qt's strings and the history's events: as text, not as the byte dumps
// GoogleTest makes of a type it does not know. Every test file sees these (tests/CMakeLists.txt puts
// them before its first line), so that one program never prints a value two ways.

#include "core/monitoring/ActivityEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <ostream>

namespace lunorvale::test {

// `bytes` in double quotes: UTF-8 as it stands where the whole is valid UTF-8, with C escapes for
// quotes, backslashes, control characters and, where it is not valid, every byte above 0x7f. Not the
// program's own escaping (SafeText): a failure of that would then be printed by what failed.
inline void printQuoted(const QByteArray& bytes, std::ostream* out) {
    const bool text = QString::fromUtf8(bytes).toUtf8() == bytes;
    static constexpr char hex[] = "0123456789abcdef";
    *out << '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            *out << '\\' << c;
        else if (c == '\n')
            *out << "\\n";
        else if (c == '\t')
            *out << "\\t";
        else if (byte < 0x20 || byte == 0x7f || (byte > 0x7f && !text))
            *out << "\\x" << hex[byte >> 4] << hex[byte & 0xf];
        else
            *out << c;
    }
    *out << '"';
}

} // namespace lunorvale::test

// Qt's types live in the global namespace, where GoogleTest looks for their printers.
inline void PrintTo(const QString& text, std::ostream* out) {
    lunorvale::test::printQuoted(text.toUtf8(), out);
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out) {
    lunorvale::test::printQuoted(bytes, out);
}

namespace lunorvale {

inline void PrintTo(const ActivityEvent& event, std::ostream* out) {
    *out << '{' << event.id.toString(QUuid::WithoutBraces).toStdString() << ", ";
    if (const QDateTime date = event.date.toDateTime(); date.isValid())
        *out << date.toString(Qt::ISODateWithMs).toStdString();
    else
        *out << "no date (" << event.date.seconds << ')';
    *out << ", ";
    ::PrintTo(event.title, out);
    *out << ", ";
    ::PrintTo(event.detail, out);
    *out << ", ";
    if (event.category)
        ::PrintTo(*event.category, out);
    else
        *out << "no category";
    *out << '}';
}

} // namespace lunorvale
