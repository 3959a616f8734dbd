#include "platform/desktop/PointerPresses.h"

#include <QList>
#include <QSocketNotifier>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace lunorvale {

class X11PointerPresses::Connection final {
public:
    Connection() {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return;
        int screenNumber = 0;
        m_connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(m_connection))
            return;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
        for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
            xcb_screen_next(&screens);
        if (screens.rem == 0)
            return;
        m_root = screens.data->root;
        const xcb_query_extension_reply_t* extension = xcb_get_extension_data(m_connection, &xcb_input_id);
        if (!extension || !extension->present)
            return;
        m_opcode = extension->major_opcode;
        // A client that announces 2.1 or later gets raw events while another client holds a grab; the
        // server answers with the highest version both know.
        xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
            m_connection, xcb_input_xi_query_version(m_connection, 2, 2), nullptr);
        m_usable = version && (version->major_version > 2 ||
                               (version->major_version == 2 && version->minor_version >= 1));
        std::free(version);
    }
    ~Connection() {
        // The notifier goes before the descriptor it watches.
        notifier.reset();
        if (m_connection)
            xcb_disconnect(m_connection);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool usable() const { return m_usable && !xcb_connection_has_error(m_connection); }
    int descriptor() const { return xcb_get_file_descriptor(m_connection); }

    // Asks for raw presses from every pointer on the root window, or for nothing; returns the
    // request's sequence number: events the server made before it handled the request carry a lower one.
    uint32_t select(bool presses) {
        struct {
            xcb_input_event_mask_t head;
            uint32_t mask;
        } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                    presses ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
        const xcb_void_cookie_t cookie = xcb_input_xi_select_events(m_connection, m_root, 1, &selection.head);
        xcb_flush(m_connection);
        return cookie.sequence;
    }

    // Reads every event that has arrived; returns the times of the button presses made at or after
    // request `since`.
    QList<quint64> takePresses(uint32_t since) {
        QList<quint64> presses;
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            const std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> owned(event, &std::free);
            if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
                continue;
            const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
            if (generic->extension != m_opcode || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
                continue;
            const auto* press = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
            // Buttons 4 to 7 are the wheel's turns, which close no menu.
            if (press->detail >= 4 && press->detail <= 7)
                continue;
            // Compared as the server counts, modulo 2^32.
            if (static_cast<int32_t>(press->full_sequence - since) >= 0)
                presses.append(press->time);
        }
        return presses;
    }

    std::unique_ptr<QSocketNotifier> notifier;

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    uint8_t m_opcode = 0;
    bool m_usable = false;
};

X11PointerPresses::X11PointerPresses(QObject* parent) : PointerPresses(parent) {}

X11PointerPresses::~X11PointerPresses() = default;

bool X11PointerPresses::listen() {
    if (!m_tried) {
        m_tried = true;
        auto connection = std::make_unique<Connection>();
        if (connection->usable()) {
            connection->notifier =
                std::make_unique<QSocketNotifier>(connection->descriptor(), QSocketNotifier::Read);
            connect(connection->notifier.get(), &QSocketNotifier::activated, this,
                    &X11PointerPresses::readEvents);
            m_connection = std::move(connection);
        }
    }
    if (!m_connection || !m_connection->usable())
        return false;
    m_since = m_connection->select(true);
    m_listening = true;
    return true;
}

void X11PointerPresses::stopListening() {
    if (!m_listening)
        return;
    m_listening = false;
    if (m_connection && m_connection->usable())
        m_connection->select(false);
}

void X11PointerPresses::readEvents() {
    if (!m_connection)
        return;
    const QList<quint64> presses = m_connection->takePresses(m_since);
    if (!m_connection->usable()) {
        // The display went away: its descriptor would stay readable for ever.
        m_connection->notifier->setEnabled(false);
        m_listening = false;
        return;
    }
    for (const quint64 time : presses) {
        // A receiver may stop the listening.
        if (!m_listening)
            break;
        emit pressed(time);
    }
}

} // namespace lunorvale
