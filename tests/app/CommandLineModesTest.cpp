#include "app/shell/LunorvaleEntry.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

using lunorvale::LunorvaleEntry;
using lunorvale::test::ProgramRun;
using lunorvale::test::runProgram;

namespace {

qint64 memTotalBytes() {
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    const auto match = QRegularExpression(QStringLiteral("MemTotal:\\s+(\\d+) kB"))
                           .match(QString::fromLatin1(meminfo.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
}

// Names of the processes whose parent is this test process.
QStringList childNames() {
    QStringList names;
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(QString::fromLatin1(entry->d_name)));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const qsizetype close = text.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = text.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == getpid())
            names << QString::fromUtf8(text.mid(text.indexOf('(') + 1, close - text.indexOf('(') - 1));
    }
    closedir(proc);
    return names;
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
    EXPECT_GE(cpu, 0);
    EXPECT_LE(cpu, 100);
    EXPECT_TRUE(QStringList({"unknown", "normal", "warning", "critical"})
                    .contains(report.value("memoryPressure").toString()));
    EXPECT_EQ(report.value("physicalMemoryBytes").toInteger(), memTotalBytes());
    EXPECT_FALSE(report.contains("usedMemoryBytes"));
    // Pretty-printed, keys sorted.
    EXPECT_TRUE(run.out.startsWith("{\n"));
    EXPECT_LT(run.out.indexOf("\"firstSampleCPUUnknown\""), run.out.indexOf("\"measuredProcessCount\""));
    EXPECT_LT(run.out.indexOf("\"selfFound\""), run.out.indexOf("\"status\""));
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
    EXPECT_FALSE(left.contains("sleep")) << left.join(u',').toStdString();
    EXPECT_FALSE(left.contains("yes")) << left.join(u',').toStdString();
    prctl(PR_SET_CHILD_SUBREAPER, 0, 0, 0, 0);
}

TEST(CommandLineModes, WithoutAModeNamesTheModesAndFails) {
    const ProgramRun run = runProgram({});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.isEmpty());
    EXPECT_TRUE(run.err.contains("--probe"));
    EXPECT_EQ(run.err.count('\n'), 1);
    // A flag without its address does not select the mode.
    EXPECT_EQ(runProgram({QStringLiteral("--ai-smoke")}).exitCode, 2);
}

// A report that cannot be written is a failure, whatever the mode found.
TEST(CommandLineModes, ModesFailWhenTheReportCannotBeWritten) {
    for (const char* mode : {"--probe", "--smoke-test", "--applications-probe"})
        EXPECT_EQ(runProgram({QString::fromLatin1(mode)}, QStringLiteral("/dev/full")).exitCode, 1) << mode;
}

// The self-test's own steps, with children that misbehave: the report says what went wrong in the words of
// the failure itself, and no success is reported while the busy child still runs.
TEST(CommandLineModes, SelfTestReportsFailuresAsTheyAre) {
    QProcess missing;
    missing.start(QStringLiteral("/nonexistent/lunorvale-child"));
    missing.waitForStarted();
    const struct {
        const char* label;
        lunorvale::SmokeTestChildren children;
        QString error;
    } rows[] = {
        {"launch error", {{QStringLiteral("/nonexistent/lunorvale-child")}, {}}, missing.errorString()},
        // Ignoring SIGTERM survives exec, so the busy child keeps running after the polite stop.
        {"busy child ignores the stop",
         {{QStringLiteral("/bin/sleep"), QStringLiteral("20")},
          {QStringLiteral("/bin/sh"), QStringLiteral("-c"),
           QStringLiteral("trap '' TERM; exec /usr/bin/yes")}},
         QStringLiteral("测试子进程未正常停止")},
    };
    for (const auto& row : rows) {
        testing::internal::CaptureStdout();
        const int status = LunorvaleEntry::smokeTest(row.children);
        const QByteArray out = QByteArray::fromStdString(testing::internal::GetCapturedStdout());
        EXPECT_EQ(status, 1) << row.label;
        EXPECT_EQ(QJsonDocument::fromJson(out).object(),
                  (QJsonObject{{"status", "failed"}, {"error", row.error}}))
            << row.label << ": " << out.toStdString();
    }
}
