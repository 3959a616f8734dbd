#pragma once

#include "app/ports/DesktopApplications.h"

#include <QList>
#include <QString>
#include <optional>

namespace lunorvale {

// On X11 the windows listed in the root window's _NET_CLIENT_LIST with their _NET_WM_PID, raised
// by a _NET_ACTIVE_WINDOW request to the window manager; without an X display no application is
// found. The system monitor is GNOME System Monitor, KDE System Monitor, xfce4-taskmanager or
// mate-system-monitor, whichever is found first on PATH.
class LinuxDesktopApplications final : public DesktopApplications {
public:
    // `display` as in $DISPLAY; empty: the environment's.
    explicit LinuxDesktopApplications(QString display = {});

    QList<RunningApplication> runningApplications() override;
    bool activate(const RunningApplication& application) override;
    std::optional<QString> systemMonitor() override;
    bool openSystemMonitor(const QString& program) override;

private:
    QString m_display;
};

} // namespace lunorvale
