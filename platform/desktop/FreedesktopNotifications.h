#pragma once

#include "app/ports/UserNotificationCenter.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QHash>
#include <QMetaType>
#include <QSet>

namespace lunorvale {

// An image as a notification carries it: the Notifications specification's raw image, (iiibiiay) on
// the bus: width, height, bytes per row, whether there is alpha, bits per sample, samples per pixel,
// then the rows (RGB or RGBA, 8 bits a sample).
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray pixels;

    friend bool operator==(const NotificationImage&, const NotificationImage&) = default;
};

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage& image);

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

    // The program's icon, sent with every reminder as its image ("image-data"): nothing has to be
    // installed in an icon theme for the desktop to show it. Without one, reminders carry no icon.
    void setImage(NotificationImage image);

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
    std::optional<NotificationImage> m_image;
    QHash<QString, uint> m_serverIDs; // our identifier → the server's number, for shown reminders
    QHash<uint, Shown> m_shown;
    QSet<QString> m_posting;   // identifiers whose Notify has not been answered yet
    QSet<QString> m_withdrawn; // of those, the ones withdrawn meanwhile: closed as soon as shown
};

} // namespace lunorvale

Q_DECLARE_METATYPE(lunorvale::NotificationImage)
