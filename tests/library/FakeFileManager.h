#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace lunorvale::test {

// org.freedesktop.FileManager1 as far as revealing goes: keeps what it was asked to show.
class FakeFileManager final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    explicit FakeFileManager(QDBusConnection bus) : m_bus(std::move(bus)) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.freedesktop.FileManager1"));
    }

    QList<QStringList> shown;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown.append(uris); }

private:
    QDBusConnection m_bus;
};

} // namespace lunorvale::test
