#include "support/VirtualDisplay.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

namespace lunorvale::test {

VirtualDisplay::VirtualDisplay() {
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"),
                    QStringLiteral("tcp")});
    if (m_server.waitForReadyRead(60000))
        m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
}

bool VirtualDisplay::startWindowManager(const QString& program) {
    if (m_name.isEmpty() || !m_home.isValid())
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString home = m_home.path();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    // The accessibility bus would outlive the window manager.
    environment.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("GTK_A11Y"), QStringLiteral("none"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    m_bus.setProcessEnvironment(environment);
    m_bus.setStandardErrorFile(QProcess::nullDevice());
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                 QStringLiteral("--print-address=1")});
    if (!m_bus.waitForStarted(10000))
        return false;
    while (!m_bus.canReadLine() && m_bus.waitForReadyRead(10000)) {
    }
    const QString bus = QString::fromUtf8(m_bus.readLine()).trimmed();
    if (bus.isEmpty())
        return false;
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);

    m_windowManager.setProcessEnvironment(environment);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    const QStringList arguments =
        program == QLatin1String("xfwm4")
            ? QStringList{QStringLiteral("--sm-client-disable"), QStringLiteral("--compositor=off")}
            : QStringList{};
    m_windowManager.start(program, arguments);
    if (!m_windowManager.waitForStarted(10000))
        return false;
    // Managed once the root window names the manager's check window. Between two looks the wait is
    // for the manager to end (when it cannot run here), bounded.
    QDeadlineTimer deadline(std::chrono::seconds(60));
    bool managed = false;
    while (!managed && !deadline.hasExpired() && !m_windowManager.waitForFinished(100))
        managed = run(QStringLiteral("xprop"),
                      {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                      .contains(u"window id #");
    return managed && m_windowManager.state() == QProcess::Running;
}

VirtualDisplay::~VirtualDisplay() {
    if (m_windowManager.state() != QProcess::NotRunning) {
        m_windowManager.terminate();
        if (!m_windowManager.waitForFinished(10000))
            m_windowManager.kill();
        m_windowManager.waitForFinished();
    }
    if (m_bus.state() != QProcess::NotRunning) {
        m_bus.kill();
        m_bus.waitForFinished();
    }
    m_server.terminate();
    m_server.waitForFinished();
}

QString VirtualDisplay::windowOfSize(int width, int height) const {
    const QRegularExpression window(QStringLiteral(R"((0x[0-9a-f]+) .*\s(\d+)x(\d+)\+)"));
    const QString tree = run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    for (const QString& line : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = window.match(line);
        if (!match.hasMatch() || match.captured(2).toInt() != width ||
            (height >= 0 && match.captured(3).toInt() != height))
            continue;
        if (run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), match.captured(1)})
                .contains(u"IsViewable"))
            return match.captured(1);
    }
    return {};
}

QString VirtualDisplay::title(const QString& window) const {
    return run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}).trimmed();
}

QString VirtualDisplay::property(const QString& window, const QString& name) const {
    return run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
}

QString VirtualDisplay::run(const QString& program, const QStringList& arguments) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_name);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace lunorvale::test
