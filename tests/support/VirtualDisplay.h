#pragma once

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace lunorvale::test {

// A virtual X display (Xvfb, no window manager unless one is started) for the length of a test.
class VirtualDisplay final {
public:
    explicit VirtualDisplay(QSize screen = {1280, 800});
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N"; empty when Xvfb did not start.
    const QString& name() const { return m_name; }
    // Starts `program` (xfwm4, openbox) on the display, with a home and a session bus of its own (xfwm4
    // reads its settings over D-Bus), and waits until it manages the display. False when it did not.
    bool startWindowManager(const QString& program);
    // The address of that session bus, which listens in the manager's home; empty before it started.
    const QString& busAddress() const { return m_busAddress; }
    // Whether a window of this size (of any height for -1) is mapped and viewable.
    bool showsWindowOfSize(int width, int height) const { return !windowOfSize(width, height).isEmpty(); }
    // The id of such a window; empty when there is none.
    QString windowOfSize(int width, int height) const;

    // What a window's title or another of its properties reads.
    QString title(const QString& window) const;
    QString property(const QString& window, const QString& name) const;

private:
    // What an X client of this display prints.
    QString run(const QString& program, const QStringList& arguments) const;

    QProcess m_server;
    QString m_name;
    QTemporaryDir m_home;
    QProcess m_bus;
    QString m_busAddress;
    QProcess m_windowManager;
};

} // namespace lunorvale::test
