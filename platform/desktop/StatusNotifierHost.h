#pragma once

#include <QDBusConnection>

namespace lunorvale {

// Whether a panel on `bus` shows tray icons as StatusNotifierItems: a StatusNotifierWatcher is there and
// says a host has registered with it. Qt's tray icon then talks to that panel over D-Bus, and the panel
// draws the tooltip itself, as plain text; otherwise the icon sits in the X11 system tray and Qt draws
// the tooltip, reading markup.
bool statusNotifierHostRegistered(const QDBusConnection& bus = QDBusConnection::sessionBus());

} // namespace lunorvale
