#pragma once

#include "app/ports/UpdateTypes.h"

#include <QByteArray>
#include <QList>
#include <QStringView>
#include <compare>
#include <optional>

namespace lunorvale::Appcast {

// The XML namespace of the update elements and attributes of the common RSS appcast form.
inline constexpr const char* updateNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";
// Larger feeds are refused before they are parsed.
inline constexpr qint64 maximumBytes = 1024 * 1024;

// The releases of an RSS appcast: every <item> with an <enclosure url=…> and a version (the item's
// <sparkle:version> or the enclosure's sparkle:version attribute). Items without those, or whose
// enclosure names another operating system (sparkle:os other than "linux"), are left out. Throws
// UpdateError (appcastInvalid) for a feed that is not well-formed RSS or is larger than `maximumBytes`.
QList<AppcastItem> parse(const QByteArray& xml);

// Versions compared run by run: digits numerically, letters alphabetically, any separator equal to any
// other. Where one version goes on, a following run of letters marks a pre-release ("1.0b1" < "1.0") and
// anything else a later release ("1.0" < "1.0.1").
std::strong_ordering compareVersions(QStringView left, QStringView right);

// The newest release later than `currentVersion`, and also later than `skippedVersion` when one is given.
std::optional<AppcastItem> bestItem(const QList<AppcastItem>& items, const QString& currentVersion,
                                    const std::optional<QString>& skippedVersion = std::nullopt);

} // namespace lunorvale::Appcast
