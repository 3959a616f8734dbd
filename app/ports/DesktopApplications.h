#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale {

// An application the user can bring to the front: a top-level window and the process it belongs to.
struct RunningApplication {
    int32_t pid = 0;
    QString name; // as the window names its program; empty when it gives none
    uint32_t window = 0;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// What inspecting a process needs of the desktop: the applications with windows, raising one, and
// the desktop's system monitor as the fallback.
class DesktopApplications {
public:
    virtual ~DesktopApplications() = default;
    // One entry per process that owns a managed window, in the window manager's order.
    virtual QList<RunningApplication> runningApplications() = 0;
    // Raises the application's window; false when the window is gone or cannot be raised.
    virtual bool activate(const RunningApplication& application) = 0;
    // The first installed of the known system monitors.
    virtual std::optional<QString> systemMonitor() = 0;
    // Starts it detached; false when it could not be started.
    virtual bool openSystemMonitor(const QString& program) = 0;
};

} // namespace lunorvale
