#pragma once

#include <QString>

namespace lunorvale::Paths {

// The program's data folder, $XDG_DATA_HOME/Lunorvale (default ~/.local/share/Lunorvale).
// Every data file of the program lives here; nothing else derives this path.
QString applicationSupportDirectory();
// $XDG_CONFIG_HOME/Lunorvale (default ~/.config/Lunorvale): the settings file.
QString configDirectory();
// $XDG_DATA_HOME itself (default ~/.local/share).
QString dataHome();
// $XDG_CONFIG_HOME itself (default ~/.config).
QString configHome();

} // namespace lunorvale::Paths
