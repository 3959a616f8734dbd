#pragma once

#include "app/ports/FileRevealer.h"
#include "app/ports/UrlOpener.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

namespace lunorvale {

// org.freedesktop.FileManager1.ShowItems on the session bus. When no file manager answers there, the
// item's parent folder is opened through `opener` instead (the item then is not selected).
class FreedesktopFileRevealer final : public QObject, public FileRevealer {
    Q_OBJECT

public:
    static constexpr char defaultService[] = "org.freedesktop.FileManager1";

    // `opener` may be null (no fallback); the caller keeps it alive longer than this object.
    explicit FreedesktopFileRevealer(UrlOpener* opener, QDBusConnection bus = QDBusConnection::sessionBus(),
                                     QString service = QString::fromLatin1(defaultService),
                                     QObject* parent = nullptr);

    void reveal(const QUrl& item) override;

private:
    void openParent(const QUrl& item);

    UrlOpener* m_opener;
    QDBusConnection m_bus;
    QString m_service;
};

} // namespace lunorvale
