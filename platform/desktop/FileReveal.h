#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

namespace lunorvale {

// Opens a URL with the desktop's handler for it: a folder in the file manager, a web page in the browser.
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // False when the desktop could not open it.
    virtual bool open(const QUrl& url) = 0;
};

// Shows an item selected in the desktop's file manager. Returns at once; whether a window came up is not
// reported, as no file manager says so.
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // `item` is a local file URL: a file or a folder, shown inside its parent folder.
    virtual void reveal(const QUrl& item) = 0;
};

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

    // The folder that holds the item (for a folder, the folder above it).
    static QUrl parentFolder(const QUrl& item);

private:
    void openParent(const QUrl& item);

    UrlOpener* m_opener;
    QDBusConnection m_bus;
    QString m_service;
};

} // namespace lunorvale
