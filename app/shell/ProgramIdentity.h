#pragma once

#include "platform/desktop/FreedesktopNotifications.h"

#include <QIcon>
#include <QString>
#include <QStringList>
#include <optional>

namespace lunorvale::ProgramIdentity {

// The program's name as the user reads it: Qt gives it to every window without a title of its own and
// to the tray item (its StatusNotifierItem Title).
QString name();

// The program's icon: the tray's tile with the waveform, without a badge, at the sizes taskbars, window
// switchers and title bars ask for. Every window carries it; nothing is installed for it.
QIcon icon();
// The same icon as a reminder carries it, `side` pixels square.
NotificationImage notificationImage(int side);

// The desktop file a desktop may match the program's windows with: "lunorvale" where a
// lunorvale.desktop lies in one of `applicationFolders` (DesktopEntries::standardFolders()), else none:
// a name without a file would only make the desktop look for one in vain.
std::optional<QString> desktopFileName(const QStringList& applicationFolders);

} // namespace lunorvale::ProgramIdentity
