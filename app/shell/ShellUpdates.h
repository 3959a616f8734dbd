#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

namespace lunorvale {

// What the shell needs of the update model: whether a check can start now, the version on offer,
// whether a downloaded update waits to be installed on quit; starting it, a check the user asked for,
// and a screenshot page's fixed state. Main thread only.
class ShellUpdates : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    virtual bool canCheckForUpdates() const = 0;
    virtual std::optional<QString> availableVersion() const = 0;
    virtual bool readyToInstall() const = 0;
    virtual void start() = 0;
    virtual void checkForUpdates() = 0;
    virtual void configurePreview(const QString& page) = 0;

    // The updates of a program without an update layer: none is ever offered, no check can start. A
    // screenshot of an "update-available" or "update-ready" page shows version 1.1.1 all the same.
    static std::unique_ptr<ShellUpdates> none(bool preview);

signals:
    void canCheckForUpdatesChanged();
    void availableVersionChanged();
};

} // namespace lunorvale
