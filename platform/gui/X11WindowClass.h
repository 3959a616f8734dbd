#pragma once

#include <QObject>

namespace lunorvale {

// Gives every window of the program the X11 class "lunorvale" / "Lunorvale" (WM_CLASS), by which
// window managers, panels and their rules know it. Qt would write the application name there, and
// that is the Chinese name the tray and the windows show: its UTF-8 bytes in a Latin-1 property read
// as mojibake, and no rule by class matches it. Titles are left alone.
//
// Watches the windows of the application from construction until it is destroyed; does nothing off
// X11.
class X11WindowClass final : public QObject {
public:
    // The value as the property holds it: instance, then class, each ended by a NUL.
    static const QByteArray& value();

    explicit X11WindowClass(QObject* parent = nullptr);
    ~X11WindowClass() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_active = false;
};

} // namespace lunorvale
