#pragma once

#include <QUrl>

namespace lunorvale {

// How the settings and library pages reach the rest of the desktop: its settings programs, web pages
// and the file manager. Which settings program a desktop has, and where its login items live, is the
// opener's knowledge, not the pages'. Every call returns at once.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // The desktop's notification settings; false when it has none that could be started.
    virtual bool openNotificationSettings() = 0;
    // The desktop's settings for programs started at login; where it has none, the program's own
    // autostart entry shown in the file manager (or the folder it would be in).
    virtual void openLoginItemSettings() = 0;
    // The folder of the autostart entries shown in the file manager (the folder above it while there
    // is none).
    virtual void revealLoginItems() = 0;
    // A web page or folder in the desktop's handler; false when that could not be started.
    virtual bool openURL(const QUrl& url) = 0;
};

} // namespace lunorvale
