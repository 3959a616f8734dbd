#include "platform/desktop/GraphicalSession.h"

#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QList>
#include <cstring>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

namespace lunorvale {
namespace {

// The value after the last "-name" or "--name", as Qt reads its own options.
std::optional<QByteArray> optionValue(const QStringList& arguments, const QString& name) {
    std::optional<QByteArray> value;
    for (qsizetype i = 1; i + 1 < arguments.size(); ++i) {
        if (arguments.at(i) == u'-' + name || arguments.at(i) == QStringLiteral("--") + name)
            value = arguments.at(++i).toLocal8Bit();
    }
    return value;
}

QList<QByteArray> platforms(const QStringList& arguments) {
    QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (const std::optional<QByteArray> given = optionValue(arguments, QStringLiteral("platform")))
        chosen = *given;
    if (!chosen.isEmpty())
        return chosen.split(';');
    QList<QByteArray> order;
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY") || qgetenv("XDG_SESSION_TYPE") == "wayland")
        order << "wayland";
    order << "xcb";
    return order;
}

// Where libwayland-client connects: WAYLAND_DISPLAY (wayland-0 when unset), a name in XDG_RUNTIME_DIR
// unless it is a path.
bool waylandAnswers() {
    // A compositor that started the program may have handed it a connected socket.
    if (!qEnvironmentVariableIsEmpty("WAYLAND_SOCKET"))
        return true;
    QByteArray path = qgetenv("WAYLAND_DISPLAY");
    if (path.isEmpty())
        path = "wayland-0";
    if (!path.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return false;
        path = runtime + '/' + path;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<size_t>(path.size()) >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    const UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return socket.valid() &&
           ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

} // namespace

void GraphicalSession::Disconnect::operator()(xcb_connection_t* connection) const {
    xcb_disconnect(connection);
}

std::optional<GraphicalSession> GraphicalSession::connect(const QStringList& arguments) {
    for (const QByteArray& platform : platforms(arguments)) {
        // A name may carry the plugin's own options after a colon; Qt matches names in any case.
        const QByteArray name = platform.split(':').constFirst().trimmed().toLower();
        GraphicalSession session;
        if (name == "xcb") {
            const std::optional<QByteArray> display = optionValue(arguments, QStringLiteral("display"));
            session.m_x11.reset(xcb_connect(display ? display->constData() : nullptr, nullptr));
            if (xcb_connection_has_error(session.m_x11.get()) == 0)
                return session;
        } else if (!name.isEmpty() && (!name.startsWith("wayland") || waylandAnswers())) {
            return session;
        }
    }
    return std::nullopt;
}

} // namespace lunorvale
