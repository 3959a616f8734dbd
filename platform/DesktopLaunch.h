#pragma once

#include <QStringList>
#include <string_view>

namespace lunorvale::DesktopLaunch {

// The desktop-file IDs (without ".desktop") that a systemd unit says a desktop started its processes
// as, in the order to look them up; empty for a unit that is no desktop launch (a terminal's
// vte-spawn-….scope, the session's session-N.scope, the user's user@….service, services of their
// own). Where none of them has a desktop file, the last one names the application.
//
// The desktop convention: app[-<launcher>]-<ID>-<random>.scope and
// app[-<launcher>]-<ID>[@<random>].service, with dashes inside the ID escaped as \x2d (Flatpak's
// launcher is "flatpak"); Snap: snap.<snap>.<app>-<UUID>.scope for the desktop file <snap>_<app>.
// The fields are split before \xNN escapes are undone, so an escaped dash never splits one; the bytes
// then read as UTF-8 as they are, a leading byte-order mark kept as part of the name. An ID
// that is not usable as a file name (empty, "." or "..", with a slash, a control character or
// bytes that are not UTF-8) is left out.
QStringList applicationIDs(std::string_view unit);

} // namespace lunorvale::DesktopLaunch
