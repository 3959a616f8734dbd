#pragma once

#include <QString>
#include <QUrl>

namespace lunorvale {

// Starts an installed application.
class ApplicationLauncher {
public:
    virtual ~ApplicationLauncher() = default;
    // Starts the bundle's program detached from this one; false when it could not be started.
    virtual bool open(const QUrl& bundle, const QString& executable) = 0;
};

} // namespace lunorvale
