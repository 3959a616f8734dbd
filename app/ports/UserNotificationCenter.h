#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace lunorvale {

// One reminder as the program hands it to the desktop.
struct UserNotification {
    QString identifier; // ours; the desktop's own number stays inside the service
    QString title;
    QString body;
    QVariantMap userInfo; // handed back when the user clicks the reminder
};

enum class NotificationAuthorization { notDetermined, denied, authorized };

// The desktop's reminder service. Every answer arrives later on the calling thread, and never after
// the service object is gone. Withdrawing covers reminders still being posted and those shown.
class UserNotificationCenter : public QObject {
    Q_OBJECT

public:
    using Posted = std::function<void(const std::optional<QString>& errorSentence)>;
    using AuthorizationAnswer = std::function<void(NotificationAuthorization)>;
    using PermissionAnswer = std::function<void(bool granted, const std::optional<QString>& errorSentence)>;

    using QObject::QObject;

    virtual void authorizationStatus(AuthorizationAnswer answer) = 0;
    virtual void requestAuthorization(PermissionAnswer answer) = 0;
    virtual void add(const UserNotification& notification, Posted posted) = 0;
    virtual void remove(const QStringList& identifiers) = 0;

signals:
    // The user clicked a reminder of ours.
    void activated(const QVariantMap& userInfo);
};

} // namespace lunorvale
