#pragma once

#include <QStringList>
#include <memory>
#include <optional>

struct xcb_connection_t;

namespace lunorvale {

// A connection to one of the window systems Qt will try for this run, made before the application object
// exists, because Qt ends the process (abort, advising to reinstall) when none of them starts. The platforms
// are the ones Qt takes: those of `-platform` among the arguments, else of QT_QPA_PLATFORM, else Wayland
// where the session names one and then X11, this system's default. X11 answers when its display
// (`-display`, else DISPLAY) accepts a client, Wayland when the compositor's socket takes a connection. A
// platform that needs neither (offscreen, a frame buffer, VNC) counts as answering: Qt judges it itself.
//
// Keep the object until Qt has connected: an X server resets when its last client leaves, and one that
// checks cookies refuses the clients that come meanwhile.
class GraphicalSession final {
public:
    // Absent when none answers.
    static std::optional<GraphicalSession> connect(const QStringList& arguments);

private:
    struct Disconnect {
        void operator()(xcb_connection_t* connection) const;
    };
    std::unique_ptr<xcb_connection_t, Disconnect> m_x11;
};

} // namespace lunorvale
