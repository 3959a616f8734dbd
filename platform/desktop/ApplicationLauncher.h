#pragma once

#include "app/ports/ApplicationLauncher.h"

#include <QString>
#include <QUrl>

namespace lunorvale {

// Runs "Contents/MacOS/<executable>" of the bundle as a detached process with no arguments and the
// program's original limits. An empty name, or one that leaves that folder, starts nothing.
class BundleLauncher final : public ApplicationLauncher {
public:
    bool open(const QUrl& bundle, const QString& executable) override;

    // The program to start; empty when the name is unusable.
    static QString programPath(const QUrl& bundle, const QString& executable);
};

} // namespace lunorvale
