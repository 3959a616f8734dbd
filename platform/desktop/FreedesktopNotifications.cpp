#include "platform/desktop/FreedesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDebug>
#include <QPointer>

namespace lunorvale {
namespace {

const QString objectPath = QStringLiteral("/org/freedesktop/Notifications");
const QString interfaceName = QStringLiteral("org.freedesktop.Notifications");
const QString defaultAction = QStringLiteral("default");

QString sentence(const QDBusError& error) {
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
        return QStringLiteral("没有可用的桌面通知服务。");
    default:
        // The bus's error name is English and means nothing to the user: it goes to the log only.
        qWarning("Notification refused: %s", qUtf8Printable(error.name()));
        return QStringLiteral("桌面通知服务拒绝了这条提醒。");
    }
}

// Notification servers take a paragraph's direction from its first strong letter (dunst does, and does
// not skip isolates): a reminder that starts with a Hebrew or Arabic name would be drawn right to left,
// its words in reverse order. A left-to-right mark before it keeps it in the interface's direction.
QString leftToRight(const QString& text) {
    return QChar(0x200E) + text;
}

} // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const NotificationImage& image) {
    argument.beginStructure();
    argument << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
             << image.channels << image.pixels;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, NotificationImage& image) {
    argument.beginStructure();
    argument >> image.width >> image.height >> image.rowStride >> image.hasAlpha >> image.bitsPerSample >>
        image.channels >> image.pixels;
    argument.endStructure();
    return argument;
}

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus, QString service, QObject* parent)
    : UserNotificationCenter(parent), m_bus(std::move(bus)), m_service(std::move(service)) {
    qDBusRegisterMetaType<NotificationImage>();
    m_bus.connect(m_service, objectPath, interfaceName, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(m_service, objectPath, interfaceName, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
}

void FreedesktopNotifications::askServer(std::function<void(bool answered)> done) {
    const QDBusMessage call = QDBusMessage::createMethodCall(m_service, objectPath, interfaceName,
                                                             QStringLiteral("GetServerInformation"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        done(!watcher->isError());
    });
}

void FreedesktopNotifications::authorizationStatus(AuthorizationAnswer answer) {
    askServer([answer = std::move(answer)](bool answered) {
        answer(answered ? NotificationAuthorization::authorized : NotificationAuthorization::denied);
    });
}

void FreedesktopNotifications::requestAuthorization(PermissionAnswer answer) {
    // Nothing to ask the user on this desktop: reminders can be shown exactly when a server runs.
    askServer([answer = std::move(answer)](bool answered) { answer(answered, std::nullopt); });
}

void FreedesktopNotifications::setImage(NotificationImage image) {
    m_image = std::move(image);
}

void FreedesktopNotifications::add(const UserNotification& notification, Posted posted) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(m_service, objectPath, interfaceName, QStringLiteral("Notify"));
    // No icon name: none is installed in a theme; the image goes as a hint, which servers prefer to
    // a name anyway.
    QVariantMap hints;
    if (m_image)
        hints.insert(QStringLiteral("image-data"), QVariant::fromValue(*m_image));
    call << QStringLiteral("岚栖") << uint(0) << QString() << leftToRight(notification.title)
         << leftToRight(notification.body) << QStringList{defaultAction, QStringLiteral("查看")} << hints
         << int(-1);
    m_posting.insert(notification.identifier);

    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, notification, posted] {
        watcher->deleteLater();
        m_posting.remove(notification.identifier);
        const bool withdrawn = m_withdrawn.remove(notification.identifier);
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError()) {
            posted(sentence(reply.error()));
            return;
        }
        const uint serverID = reply.value();
        if (withdrawn) {
            close(serverID);
        } else {
            m_serverIDs.insert(notification.identifier, serverID);
            m_shown.insert(serverID, Shown{notification.identifier, notification.userInfo});
        }
        posted(std::nullopt);
    });
}

void FreedesktopNotifications::remove(const QStringList& identifiers) {
    for (const QString& identifier : identifiers) {
        if (m_posting.contains(identifier))
            m_withdrawn.insert(identifier);
        const auto it = m_serverIDs.constFind(identifier);
        if (it == m_serverIDs.cend())
            continue;
        const uint serverID = *it;
        m_serverIDs.erase(it);
        m_shown.remove(serverID);
        close(serverID);
    }
}

void FreedesktopNotifications::close(uint serverID) {
    QDBusMessage call = QDBusMessage::createMethodCall(m_service, objectPath, interfaceName,
                                                       QStringLiteral("CloseNotification"));
    call << serverID;
    m_bus.send(call);
}

void FreedesktopNotifications::actionInvoked(uint serverID, const QString& action) {
    const auto it = m_shown.constFind(serverID);
    if (it == m_shown.cend() || action != defaultAction)
        return;
    emit activated(it->userInfo);
}

void FreedesktopNotifications::notificationClosed(uint serverID, uint /*reason*/) {
    const auto it = m_shown.constFind(serverID);
    if (it == m_shown.cend())
        return;
    m_serverIDs.remove(it->identifier);
    m_shown.erase(it);
}

} // namespace lunorvale
