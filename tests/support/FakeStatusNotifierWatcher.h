#pragma once

#include <QObject>
#include <QStringList>
#include <mutex>

namespace lunorvale::test {

// Plays the panel's org.kde.StatusNotifierWatcher: a host is registered, and every item that
// registers is remembered. Its properties appear in its introspection data, where Qt's tray looks.
// Export it with ExportAllContents at "/StatusNotifierWatcher" under "org.kde.StatusNotifierWatcher";
// it may live on its own thread.
class FakeStatusNotifierWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    QStringList items() const;
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

public slots:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service);
    Q_SCRIPTABLE void RegisterStatusNotifierHost(const QString&) {}

signals:
    Q_SCRIPTABLE void StatusNotifierItemRegistered(const QString& service);
    Q_SCRIPTABLE void StatusNotifierItemUnregistered(const QString& service);
    Q_SCRIPTABLE void StatusNotifierHostRegistered();

private:
    mutable std::mutex m_mutex;
    QStringList m_items;
};

} // namespace lunorvale::test
