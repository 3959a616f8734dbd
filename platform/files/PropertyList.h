#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <cstdint>
#include <exception>

namespace lunorvale {

// A property list that could not be turned into values: not XML or binary property-list data, or
// holding something this program refuses to carry (a string with a NUL byte, nesting too deep, more
// values than any Info.plist holds, or references that would expand into far more objects or bytes than
// the data itself holds).
class PropertyListError final : public std::exception {
public:
    QString errorDescription() const { return QStringLiteral("属性列表无法解析。"); }
    const char* what() const noexcept override { return "property list cannot be parsed"; }
};

namespace PropertyList {

// The most values (dictionary keys included) a list may hold, counted as the reader would build them
// (a shared object once per reference). The largest Info.plists, of applications that open hundreds of
// document types, hold a few thousand.
inline constexpr uint64_t maximumValues = 1 << 15;

// Parses XML (UTF-8, with or without a byte-order mark, or UTF-16 with one) or binary property-list data
// into Qt values:
//   dictionary → QVariantMap, array → QVariantList, string → QString, integer → qint64 (the binary
//   format's 64-bit integers are signed), real → double, boolean → bool, data → QByteArray,
//   date → QDateTime (UTC), UID → quint64.
// Throws PropertyListError for anything that does not parse or that it refuses to carry (above).
QVariant parse(const QByteArray& data);

} // namespace PropertyList
} // namespace lunorvale
