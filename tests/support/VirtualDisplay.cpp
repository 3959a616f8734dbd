#include "support/VirtualDisplay.h"

#include "support/EventLoop.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace lunorvale::test {

namespace {

// Each program the display starts leads a process group of its own, with what it starts in turn (the
// bus, the settings daemon it activates for xfwm4), and is asked to end when the test process ends,
// however that ends: none outlives the test to write into a home that is gone.
void startApart(QProcess& process) {
    process.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
}

} // namespace

VirtualDisplay::VirtualDisplay(QSize screen) {
    for (QProcess* process : {&m_server, &m_bus, &m_windowManager})
        startApart(*process);
    m_server.start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (m_server.waitForReadyRead(waitBoundMs))
        m_name = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
}

bool VirtualDisplay::startWindowManager(const QString& program) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Whatever the manager and its settings daemon write goes into its home; no session manager of the
    // desktop the tests were started from hears of it.
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"})
        environment.insert(QString::fromLatin1(name), m_home.path());
    environment.remove("SESSION_MANAGER");
    environment.insert("DISPLAY", m_name);
    environment.insert("NO_AT_BRIDGE", "1"); // an accessibility bus would outlive the manager
    m_bus.setProcessEnvironment(environment);
    // Its socket lies in the manager's home, which goes with the display whatever way the bus ends.
    m_bus.start("dbus-daemon", {"--session", "--address=unix:dir=" + m_home.path(), "--nofork", "--nopidfile",
                                "--print-address=1"});
    if (m_name.isEmpty() || !m_bus.waitForReadyRead(waitBoundMs))
        return false;
    m_busAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
    m_windowManager.setProcessEnvironment(environment);
    m_windowManager.setStandardOutputFile(QProcess::nullDevice());
    m_windowManager.setStandardErrorFile(QProcess::nullDevice());
    m_windowManager.start(program, program == "xfwm4" ? QStringList{"--sm-client-disable", "--compositor=off"}
                                                      : QStringList{});
    // Managed once the root window names the manager's check window. Between two looks the wait is
    // for the manager to end (where it cannot run), bounded.
    const QDeadlineTimer deadline(waitBound);
    while (m_windowManager.waitForStarted(waitBoundMs) && !deadline.hasExpired()) {
        if (run("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains(u"window id #"))
            return true;
        m_windowManager.waitForFinished(100);
    }
    return false;
}

VirtualDisplay::~VirtualDisplay() {
    // xfconfd writes its settings when its bus goes away: it ends with the bus's group, at once, before
    // the home is removed.
    for (QProcess* process : {&m_windowManager, &m_bus}) {
        if (process->processId() > 0)
            ::kill(-static_cast<pid_t>(process->processId()), SIGKILL);
        process->waitForFinished(waitBoundMs);
    }
    m_server.terminate();
    m_server.waitForFinished(waitBoundMs);
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
    process.waitForFinished(test::waitBoundMs);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace lunorvale::test
