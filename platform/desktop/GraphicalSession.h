#pragma once

#include <QStringList>

namespace lunorvale::GraphicalSession {

// Whether one of the window systems Qt will try for this run answers; asked before the application object
// exists, because Qt ends the process (abort, advising to reinstall) when none of them starts. The
// platforms are the ones Qt takes: those of `-platform` among the arguments, else of QT_QPA_PLATFORM, else
// Wayland where the session names one and then X11, this system's default. X11 answers when its display
// (`-display`, else DISPLAY) accepts a connection, Wayland when the compositor's socket does. A platform
// that needs neither (offscreen, a frame buffer, VNC) counts as answering: Qt judges it itself.
bool reachable(const QStringList& arguments);

} // namespace lunorvale::GraphicalSession
