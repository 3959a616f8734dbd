#include "platform/desktop/DesktopOpener.h"

#include "platform/ChildProcesses.h"

#include <QStandardPaths>

namespace lunorvale {

namespace SystemSettings {

std::optional<DesktopCommand> notifications(const std::function<bool(const QString&)>& hasProgram) {
    static const QList<DesktopCommand> commands{
        {QStringLiteral("gnome-control-center"), {QStringLiteral("notifications")}},
        {QStringLiteral("systemsettings"), {QStringLiteral("kcm_notifications")}},
        {QStringLiteral("xfce4-notifyd-config"), {}}};
    for (const DesktopCommand& command : commands) {
        if (hasProgram(command.program))
            return command;
    }
    return std::nullopt;
}

std::optional<DesktopCommand> loginItems(const std::function<bool(const QString&)>& hasProgram) {
    const DesktopCommand command{QStringLiteral("systemsettings"), {QStringLiteral("kcm_autostart")}};
    if (hasProgram(command.program))
        return command;
    return std::nullopt;
}

} // namespace SystemSettings

class SystemDesktopOpener::Opener final : public UrlOpener {
public:
    bool open(const QUrl& url) override {
        return startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
    }
};

SystemDesktopOpener::SystemDesktopOpener()
    : m_opener(std::make_unique<Opener>()),
      m_revealer(std::make_unique<FreedesktopFileRevealer>(m_opener.get())) {}

SystemDesktopOpener::~SystemDesktopOpener() = default;

bool SystemDesktopOpener::hasProgram(const QString& name) {
    return !QStandardPaths::findExecutable(name).isEmpty();
}

bool SystemDesktopOpener::start(const DesktopCommand& command) {
    return startDetached(command.program, command.arguments);
}

bool SystemDesktopOpener::openURL(const QUrl& url) {
    return m_opener->open(url);
}

void SystemDesktopOpener::reveal(const QString& path) {
    m_revealer->reveal(QUrl::fromLocalFile(path));
}

} // namespace lunorvale
