#pragma once

#include "platform/desktop/FileReveal.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace lunorvale {

// A program to start and its arguments; the program is looked up on PATH.
struct DesktopCommand {
    QString program;
    QStringList arguments;
    friend bool operator==(const DesktopCommand&, const DesktopCommand&) = default;
};

// How the interface reaches the rest of the desktop: the system settings, web pages and the file
// manager. Every call returns at once.
class DesktopOpener {
public:
    virtual ~DesktopOpener() = default;
    // Whether a program of that name is on PATH.
    virtual bool hasProgram(const QString& name) = 0;
    // False when it could not be started.
    virtual bool start(const DesktopCommand& command) = 0;
    // A web page or folder in the desktop's handler; false when that could not be started.
    virtual bool openURL(const QUrl& url) = 0;
    // A file or folder shown selected in the file manager.
    virtual void reveal(const QString& path) = 0;
};

namespace SystemSettings {
// The notification settings of the first desktop whose settings program is on PATH (GNOME, KDE,
// Xfce); absent when none is.
std::optional<DesktopCommand> notifications(const std::function<bool(const QString&)>& hasProgram);
// KDE's autostart settings; absent elsewhere (the autostart entry is then shown in the file manager).
std::optional<DesktopCommand> loginItems(const std::function<bool(const QString&)>& hasProgram);
} // namespace SystemSettings

// The desktop itself: programs started detached with the program's original open-file limit, web
// pages and folders through xdg-open, reveals through the file manager's D-Bus interface.
class SystemDesktopOpener final : public DesktopOpener {
public:
    SystemDesktopOpener();
    ~SystemDesktopOpener() override;

    bool hasProgram(const QString& name) override;
    bool start(const DesktopCommand& command) override;
    bool openURL(const QUrl& url) override;
    void reveal(const QString& path) override;

private:
    class Opener;
    std::unique_ptr<Opener> m_opener;
    std::unique_ptr<FreedesktopFileRevealer> m_revealer;
};

} // namespace lunorvale
