#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace lunorvale::test {

// A D-Bus session bus of the test's own: a dbus-daemon started for it and ended with it, so fakes of
// desktop services can take their well-known names without meeting another test's. Like the test
// session's bus it starts no service of the machine: a name is there only when a test takes it. It
// listens in a temporary folder of its own, which goes with it: its socket stays nowhere.
class PrivateBus final {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    // For a child process: its DBUS_SESSION_BUS_ADDRESS.
    const QString& address() const { return m_address; }
    // A new connection to the bus; each name gives its own connection.
    QDBusConnection connect(const QString& name);

private:
    QTemporaryDir m_folder;
    QProcess m_daemon;
    QString m_address;
    QStringList m_names;
};

} // namespace lunorvale::test
