#pragma once

#include <QString>

namespace lunorvale::Paths {

// The program's data folder, $XDG_DATA_HOME/Lunorvale (default ~/.local/share/Lunorvale).
// Every data file of the program lives here; nothing else derives this path.
QString applicationSupportDirectory();
// $XDG_CONFIG_HOME/Lunorvale (default ~/.config/Lunorvale): the settings file.
QString configDirectory();
// $XDG_DATA_HOME itself (default ~/.local/share), its existing part resolved once here: a home reached
// through a link is where the system put it, so the files below it are checked from the resolved path on,
// and a link below it is still refused by them.
QString dataHome();
// $XDG_CONFIG_HOME itself (default ~/.config), resolved in the same way.
QString configHome();

} // namespace lunorvale::Paths
