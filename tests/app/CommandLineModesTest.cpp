#include "app/modes/LunorvaleEntry.h"
#include "support/EventLoop.h"
#include "support/ProgramRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

using lunorvale::LunorvaleEntry;
using lunorvale::test::ProgramRun;
using lunorvale::test::RunningProgram;
using lunorvale::test::runProgram;

namespace {

// Names of the processes whose parent is this test process.
QStringList childNames() {
    QProcess pgrep;
    pgrep.start(QStringLiteral("pgrep"),
                {QStringLiteral("-l"), QStringLiteral("-P"), QString::number(getpid())});
    pgrep.waitForFinished(test::waitBoundMs);
    return QString::fromUtf8(pgrep.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TEST(CommandLineModes, ProbeReportsTwoSamples) {
    const ProgramRun run = runProgram({QStringLiteral("--probe")});
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(report.value("status"), "ok");
    EXPECT_EQ(report.value("selfFound"), true);
    EXPECT_EQ(report.value("firstSampleCPUUnknown"), true);
    EXPECT_GE(report.value("processCount").toInteger(), 1);
    EXPECT_GE(report.value("measuredProcessCount").toInteger(), 1);
    EXPECT_LE(report.value("measuredProcessCount").toInteger(), report.value("processCount").toInteger());
    EXPECT_GE(report.value("resourceGroupCount").toInteger(), 1);
    const double cpu = report.value("systemCPU").toDouble(-2);
    EXPECT_TRUE(cpu >= 0 && cpu <= 100) << cpu;
    EXPECT_TRUE(QStringList({"unknown", "normal", "warning", "critical"})
                    .contains(report.value("memoryPressure").toString()));
    EXPECT_GT(report.value("physicalMemoryBytes").toInteger(), 0);
    EXPECT_FALSE(report.contains("usedMemoryBytes"));
}

TEST(CommandLineModes, SmokeTestPassesAndLeavesNoChildBehind) {
    // Children orphaned by the program are handed to this process, so any left behind are seen.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0), 0);
    const ProgramRun run = runProgram({QStringLiteral("--smoke-test")});
    ASSERT_EQ(run.exitCode, 0) << run.out.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(report.value("status"), "ok");
    for (const char* flag :
         {"ownedChildDetected", "staleIdentityRejected", "ownedChildTerminated", "exitRechecked"})
        EXPECT_EQ(report.value(QLatin1String(flag)), true) << flag;
    const double busy = report.value("busyChildCPU").toDouble();
    EXPECT_GT(busy, 5);
    EXPECT_LT(busy, 160);
    const QStringList left = childNames();
    EXPECT_TRUE(left.filter(QRegularExpression(" (sleep|yes)$")).isEmpty()) << left.join(u',').toStdString();
    prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
}

// Where no window system answers, the desktop program says so and ends; the modes that need none still run.
TEST(CommandLineModes, WithoutADisplayTheProgramSaysItNeedsOneAndTheModesRun) {
    // A loopback port bound and never listened on: an X server's address there refuses every connection.
    const int refusing = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    int display = 99;
    do {
        ASSERT_LT(++display, 1000);
        address.sin_port = htons(static_cast<uint16_t>(6000 + display));
    } while (::bind(refusing, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0);
    // An empty value removes the variable; QT_QPA_PLATFORM is Qt's own choice unless a row names one.
    const std::pair<const char*, QMap<QString, QString>> rows[] = {
        {"no display", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}},
        {"a refusing X display",
         {{"DISPLAY", "127.0.0.1:" + QString::number(display)}, {"WAYLAND_DISPLAY", ""}}},
        {"a Wayland session without its compositor",
         {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "lunorvale-gone"}, {"XDG_SESSION_TYPE", "wayland"}}},
        {"X11 named, no display", {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", "xcb"}}},
        {"Wayland named without its compositor",
         {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", "lunorvale-gone"}, {"QT_QPA_PLATFORM", "wayland"}}},
    };
    QTemporaryDir output;
    for (auto [name, environment] : rows) {
        SCOPED_TRACE(name);
        environment.insert("QT_QPA_PLATFORM", environment.value("QT_QPA_PLATFORM"));
        RunningProgram desktop({}, environment);
        EXPECT_EQ(desktop.finish(), 1);
        EXPECT_EQ(desktop.err().toStdString(), "岚栖需要图形桌面会话才能运行。\n");
        RunningProgram probe({"--probe"}, environment);
        EXPECT_EQ(probe.finish(), 0) << probe.err().toStdString();
        // A screenshot is drawn off screen, whatever platform was named.
        RunningProgram preview({"--render-preview", output.filePath("x.png"), "menu"}, environment);
        EXPECT_EQ(preview.finish(), 0) << preview.err().toStdString();
        EXPECT_TRUE(preview.out().startsWith("PREVIEW_OK")) << preview.out().toStdString();
    }
    ::close(refusing);
}

// A report that cannot be written is a failure, whatever the mode found.
TEST(CommandLineModes, ModesFailWhenTheReportCannotBeWritten) {
    for (const char* mode : {"--probe", "--smoke-test", "--applications-probe"})
        EXPECT_EQ(runProgram({QString::fromLatin1(mode)}, QStringLiteral("/dev/full")).exitCode, 1) << mode;
}

// The self-test's own steps, with children that misbehave: the report says what went wrong in the words of
// the failure itself, and no success is reported while the busy child still runs.
TEST(CommandLineModes, SelfTestReportsFailuresAsTheyAre) {
    const auto errorOf = [](const lunorvale::SmokeTestChildren& children) {
        testing::internal::CaptureStdout();
        EXPECT_EQ(LunorvaleEntry::smokeTest(children), 1);
        const QJsonObject report =
            QJsonDocument::fromJson(testing::internal::GetCapturedStdout().c_str()).object();
        EXPECT_EQ(report.value("status"), "failed");
        return report.value("error").toString();
    };
    QProcess missing;
    missing.start("/nonexistent/lunorvale-child");
    missing.waitForStarted(test::waitBoundMs);
    EXPECT_EQ(errorOf({{"/nonexistent/lunorvale-child"}, {}}), missing.errorString());
    // Ignoring SIGTERM survives exec, so the busy child keeps running after the polite stop.
    EXPECT_EQ(errorOf({{"/bin/sleep", "20"}, {"/bin/sh", "-c", "trap '' TERM; exec /usr/bin/yes"}}),
              "测试子进程未正常停止");
}
