#pragma once

#include "platform/desktop/UserNotificationCenter.h"

#include <QDBusConnection>
#include <QHash>
#include <QSet>

namespace lunorvale {

// Reminders through org.freedesktop.Notifications: Notify with a "default" action, the click as
// ActionInvoked, withdrawal as CloseNotification. "Authorised" means a notification server answers.
// Every call is asynchronous: the interface thread never waits for the bus.
class FreedesktopNotifications final : public UserNotificationCenter {
    Q_OBJECT

public:
    static constexpr char defaultService[] = "org.freedesktop.Notifications";

    explicit FreedesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus(),
                                      QString service = QString::fromLatin1(defaultService),
                                      QObject* parent = nullptr);

    void authorizationStatus(AuthorizationAnswer answer) override;
    void requestAuthorization(PermissionAnswer answer) override;
    void add(const UserNotification& notification, Posted posted) override;
    void remove(const QStringList& identifiers) override;

private slots:
    void actionInvoked(uint serverID, const QString& action);
    void notificationClosed(uint serverID, uint reason);

private:
    struct Shown {
        QString identifier;
        QVariantMap userInfo;
    };

    void askServer(std::function<void(bool answered)> done);
    void close(uint serverID);

    QDBusConnection m_bus;
    QString m_service;
    QHash<QString, uint> m_serverIDs; // our identifier → the server's number, for shown reminders
    QHash<uint, Shown> m_shown;
    QSet<QString> m_posting;   // identifiers whose Notify has not been answered yet
    QSet<QString> m_withdrawn; // of those, the ones withdrawn meanwhile: closed as soon as shown
};

} // namespace lunorvale
