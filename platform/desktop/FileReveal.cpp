#include "platform/desktop/FileReveal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>

namespace lunorvale {

FreedesktopFileRevealer::FreedesktopFileRevealer(UrlOpener* opener, QDBusConnection bus, QString service,
                                                 QObject* parent)
    : QObject(parent), m_opener(opener), m_bus(std::move(bus)), m_service(std::move(service)) {}

void FreedesktopFileRevealer::reveal(const QUrl& item) {
    if (!item.isLocalFile())
        return;
    if (!m_bus.isConnected()) {
        openParent(item);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        m_service, QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList{item.toString(QUrl::FullyEncoded)} << QString();
    // The interface thread never waits for the file manager, which may have to start first.
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, item] {
        watcher->deleteLater();
        if (watcher->isError())
            openParent(item);
    });
}

void FreedesktopFileRevealer::openParent(const QUrl& item) {
    if (m_opener)
        m_opener->open(parentFolder(item));
}

} // namespace lunorvale
