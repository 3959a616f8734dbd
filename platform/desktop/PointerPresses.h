#pragma once

#include <QObject>
#include <cstdint>
#include <memory>

namespace lunorvale {

// Presses of a pointer button anywhere on the screen, in this program's windows or any other's, heard
// while listening without taking them from the window they are meant for. Wheel turns are not
// presses. Reports when a press happened, not where: where the pointer is, the caller asks the
// toolkit, which also knows the screen's scale.
class PointerPresses : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // False where presses cannot be heard on this display; nothing is reported then.
    virtual bool listen() = 0;
    // Nothing is reported after this, not even a press already on its way.
    virtual void stopListening() = 0;

signals:
    // `time`: the display server's time of the press in milliseconds, the clock of the toolkit's own
    // input events (QInputEvent::timestamp()), so a press this program also received is known as such.
    void pressed(quint64 time);
};

// On X11, through XInput 2 raw button events selected on the root window while listening: the server
// sends them to whoever asks, beside the normal events and whatever holds a grab (a window manager's
// or a panel's), so the click still goes where it was meant. A connection of its own to $DISPLAY,
// opened at the first `listen`. Without an X display or without XInput 2.1, `listen` answers false.
class X11PointerPresses final : public PointerPresses {
    Q_OBJECT

public:
    explicit X11PointerPresses(QObject* parent = nullptr);
    ~X11PointerPresses() override;

    bool listen() override;
    void stopListening() override;

private:
    class Connection;

    void readEvents();

    std::unique_ptr<Connection> m_connection;
    bool m_tried = false;
    bool m_listening = false;
    // The request that began the current listening: a press the server saw before it is an older one.
    uint32_t m_since = 0;
};

} // namespace lunorvale
