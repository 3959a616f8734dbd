#include "platform/desktop/DesktopApplications.h"

#include "core/common/SafeText.h"
#include "platform/ChildProcesses.h"

#include <QStandardPaths>
#include <QStringList>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace lunorvale {
namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> XcbReply<T> owned(T* reply) {
    return XcbReply<T>(reply, &std::free);
}

class Connection final {
public:
    explicit Connection(const QString& display) {
        const QByteArray name = display.toLocal8Bit();
        if (display.isEmpty() && qEnvironmentVariableIsEmpty("DISPLAY"))
            return;
        int screenNumber = 0;
        m_connection = xcb_connect(display.isEmpty() ? nullptr : name.constData(), &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem > 0)
            m_root = screens.data->root;
    }
    ~Connection() {
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool usable() const { return m_connection && !xcb_connection_has_error(m_connection) && m_root != 0; }
    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }

    xcb_atom_t atom(const char* name) const {
        const auto reply = owned(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 1, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    // The property's bytes, at most `maximumLength` 32-bit units of them.
    QByteArray property(xcb_window_t window, xcb_atom_t property, xcb_atom_t type,
                        uint32_t maximumLength) const {
        if (property == XCB_ATOM_NONE)
            return {};
        const auto reply = owned(xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, property, type, 0, maximumLength),
            nullptr));
        if (!reply || reply->type != type)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                          xcb_get_property_value_length(reply.get()));
    }

    std::optional<int32_t> windowPID(xcb_window_t window, xcb_atom_t pidAtom) const {
        const QByteArray value = property(window, pidAtom, XCB_ATOM_CARDINAL, 1);
        if (value.size() != 4)
            return std::nullopt;
        uint32_t pid = 0;
        std::memcpy(&pid, value.constData(), sizeof pid);
        if (pid < 2 || pid > 0x7fffffff)
            return std::nullopt;
        return static_cast<int32_t>(pid);
    }

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};

// The class part of WM_CLASS ("instance\0Class\0"), which names the program rather than the window.
// Any window may set its class: it is only shown, and shown as a desktop name is.
QString windowClass(const Connection& connection, xcb_window_t window) {
    const QByteArray value = connection.property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256);
    const QList<QByteArray> parts = value.split('\0');
    return parts.size() >= 2 ? SafeText::oneLine(QString::fromUtf8(parts[1])).value_or(QString()) : QString();
}

} // namespace

LinuxDesktopApplications::LinuxDesktopApplications(QString display) : m_display(std::move(display)) {}

QList<RunningApplication> LinuxDesktopApplications::runningApplications() {
    const Connection connection(m_display);
    if (!connection.usable())
        return {};
    const xcb_atom_t clientList = connection.atom("_NET_CLIENT_LIST");
    const xcb_atom_t pidAtom = connection.atom("_NET_WM_PID");
    const QByteArray windows = connection.property(connection.root(), clientList, XCB_ATOM_WINDOW, 65536);

    QList<RunningApplication> applications;
    QList<int32_t> seen;
    for (qsizetype offset = 0; offset + 4 <= windows.size(); offset += 4) {
        xcb_window_t window = 0;
        std::memcpy(&window, windows.constData() + offset, sizeof window);
        const std::optional<int32_t> pid = connection.windowPID(window, pidAtom);
        if (!pid || seen.contains(*pid))
            continue;
        seen.append(*pid);
        applications.append(RunningApplication{*pid, windowClass(connection, window), window});
    }
    return applications;
}

bool LinuxDesktopApplications::activate(const RunningApplication& application) {
    const Connection connection(m_display);
    if (!connection.usable())
        return false;
    // The window must still be there and still belong to that process.
    if (connection.windowPID(application.window, connection.atom("_NET_WM_PID")) != application.pid)
        return false;
    const xcb_atom_t activeWindow = connection.atom("_NET_ACTIVE_WINDOW");
    if (activeWindow == XCB_ATOM_NONE)
        return false;

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = application.window;
    event.type = activeWindow;
    event.data.data32[0] = 2; // the request comes from a pager-like tool acting for the user
    event.data.data32[1] = XCB_CURRENT_TIME;
    const xcb_void_cookie_t cookie =
        xcb_send_event_checked(connection.get(), 0, connection.root(),
                               XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                               reinterpret_cast<const char*>(&event));
    const auto error = owned(xcb_request_check(connection.get(), cookie));
    return !error;
}

std::optional<QString> LinuxDesktopApplications::systemMonitor() {
    static const QStringList candidates{QStringLiteral("gnome-system-monitor"),
                                        QStringLiteral("plasma-systemmonitor"), QStringLiteral("ksysguard"),
                                        QStringLiteral("xfce4-taskmanager"),
                                        QStringLiteral("mate-system-monitor")};
    for (const QString& name : candidates) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return std::nullopt;
}

bool LinuxDesktopApplications::openSystemMonitor(const QString& program) {
    return startDetached(program, {});
}

} // namespace lunorvale
