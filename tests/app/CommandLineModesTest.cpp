#include "app/modes/LunorvaleEntry.h"
#include "support/ProgramRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <unistd.h>

using lunorvale::LunorvaleEntry;
using lunorvale::test::ProgramRun;
using lunorvale::test::runProgram;

namespace {

// Names of the processes whose parent is this test process.
QStringList childNames() {
    QProcess pgrep;
    pgrep.start(QStringLiteral("pgrep"),
                {QStringLiteral("-l"), QStringLiteral("-P"), QString::number(getpid())});
    pgrep.waitForFinished();
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
    missing.waitForStarted();
    EXPECT_EQ(errorOf({{"/nonexistent/lunorvale-child"}, {}}), missing.errorString());
    // Ignoring SIGTERM survives exec, so the busy child keeps running after the polite stop.
    EXPECT_EQ(errorOf({{"/bin/sleep", "20"}, {"/bin/sh", "-c", "trap '' TERM; exec /usr/bin/yes"}}),
              "测试子进程未正常停止");
}
