#pragma once

// Fakes of the desktop's services, served on a private bus the way the real ones are.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace lunorvale::test {

// org.freedesktop.Notifications: counts what it is asked, and fails the next `failures` posts.
class FakeNotificationServer final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Shown {
        uint id = 0;
        QString summary;
        QString body;
        QStringList actions;
        QString appIcon;
        QVariantMap hints; // a structured value arrives as a QDBusArgument
    };

    explicit FakeNotificationServer(QDBusConnection bus) : m_bus(std::move(bus)) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                             QDBusConnection::ExportAllSlots);
        m_bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    int failures = 0;
    QList<Shown> shown;
    // "notify:ID", "fail" and "close:ID" in the order they arrived.
    QStringList log;

    void click(uint id) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                         QStringLiteral("org.freedesktop.Notifications"),
                                                         QStringLiteral("ActionInvoked"));
        signal << id << QStringLiteral("default");
        m_bus.send(signal);
    }

public slots:
    uint Notify(const QString&, uint, const QString& appIcon, const QString& summary, const QString& body,
                const QStringList& actions, const QVariantMap& hints, int) {
        if (failures > 0) {
            --failures;
            log.append(QStringLiteral("fail"));
            sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
            return 0;
        }
        const uint id = ++m_lastID;
        shown.append({id, summary, body, actions, appIcon, hints});
        log.append(QStringLiteral("notify:%1").arg(id));
        return id;
    }
    void CloseNotification(uint id) { log.append(QStringLiteral("close:%1").arg(id)); }
    QString GetServerInformation(QString& vendor, QString& version, QString& specification) {
        vendor = QStringLiteral("test");
        version = QStringLiteral("1");
        specification = QStringLiteral("1.2");
        return QStringLiteral("fake");
    }

private:
    QDBusConnection m_bus;
    uint m_lastID = 0;
};

// org.freedesktop.login1 as far as sleep goes.
class FakeLogin final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    explicit FakeLogin(QDBusConnection bus) : m_bus(std::move(bus)) {
        m_bus.registerObject(QStringLiteral("/org/freedesktop/login1"), this);
        m_bus.registerService(QStringLiteral("org.freedesktop.login1"));
    }

    void prepareForSleep(bool sleeping) {
        QDBusMessage signal = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                                         QStringLiteral("org.freedesktop.login1.Manager"),
                                                         QStringLiteral("PrepareForSleep"));
        signal << sleeping;
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
};

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
