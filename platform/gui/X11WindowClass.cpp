#include "platform/gui/X11WindowClass.h"

#include <QGuiApplication>
#include <QPlatformSurfaceEvent>
#include <QWindow>
#include <xcb/xcb.h>

namespace lunorvale {

const QByteArray& X11WindowClass::value() {
    static const QByteArray bytes("lunorvale\0Lunorvale\0", 20);
    return bytes;
}

X11WindowClass::X11WindowClass(QObject* parent) : QObject(parent) {
    m_active = qGuiApp && qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (m_active)
        qGuiApp->installEventFilter(this);
}

X11WindowClass::~X11WindowClass() {
    if (m_active && qGuiApp)
        qGuiApp->removeEventFilter(this);
}

bool X11WindowClass::eventFilter(QObject* watched, QEvent* event) {
    // Qt writes its class when it creates the native window, before the window is mapped, and never
    // again: written over right then, the window manager only ever sees this one.
    if (event->type() != QEvent::PlatformSurface ||
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() !=
            QPlatformSurfaceEvent::SurfaceCreated)
        return false;
    auto* window = qobject_cast<QWindow*>(watched);
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!window || !x11 || !x11->connection())
        return false;
    xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, static_cast<xcb_window_t>(window->winId()),
                        XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, static_cast<uint32_t>(value().size()),
                        value().constData());
    return false;
}

} // namespace lunorvale
