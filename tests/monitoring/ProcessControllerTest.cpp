#include "core/monitoring/ProcessController.h"
#include "core/monitoring/InMemoryProcessPlatform.h"
#include "core/monitoring/MonitorError.h"

#include <QRegularExpression>
#include <cerrno>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

using Process = InMemoryProcessPlatform::Process;

const QString protectedSentence =
    QStringLiteral("这个进程不支持在这里停止。系统关键进程和其他用户的进程受到保护。");
const QString pathChanged = QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。");
const QString commandChanged = QStringLiteral("进程的任务命令已变化，请刷新后重新确认。");
const QString gone = QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。");

Process worker() {
    return InMemoryProcessPlatform::process(4242, 777, "worker", "/usr/bin/worker", "worker --busy");
}

ProcessSample sampleOf(const Process& process) {
    ProcessSample s;
    s.identity = {process.record.pid, process.record.start_us};
    s.name = QString::fromUtf8(process.record.name);
    s.executable = process.path;
    s.command = process.arguments;
    s.uid = process.record.uid;
    return s;
}

QString stopError(const ProcessController& controller, const ProcessSample& sample, bool force = false) {
    try {
        controller.stop(sample, force);
    } catch (const MonitorError& error) {
        return error.errorDescription();
    }
    return {};
}

TEST(ProcessController, GuardsWhatMayBeStopped) {
    InMemoryProcessPlatform platform;
    const ProcessController controller(platform);
    const std::pair<std::function<void(ProcessSample&)>, bool> cases[] = {
        {[](ProcessSample&) {}, true},
        {[](ProcessSample& s) { s.identity.pid = 1; }, false},
        {[&](ProcessSample& s) { s.identity.pid = platform.currentProcess(); }, false},
        {[](ProcessSample& s) { s.uid += 1; }, false},
        {[](ProcessSample& s) { s.executable.clear(); }, false},
        {[](ProcessSample& s) { s.executable = "/System/Library/x"; }, false},
        {[](ProcessSample& s) { s.executable = "/sbin/launchd2"; }, true},
        {[](ProcessSample& s) { s.name = "WindowServer"; }, false},
        {[](ProcessSample& s) { s.name = "windowserver"; }, true},
        // What ends the session is never offered: the checked signal would refuse it.
        {[](ProcessSample& s) { s.name = "gnome-shell"; }, false},
        {[](ProcessSample& s) { s.executable = "/usr/bin/Xwayland (deleted)"; }, false},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        ProcessSample sample = sampleOf(worker());
        cases[i].first(sample);
        EXPECT_EQ(controller.canStop(sample), cases[i].second) << i;
    }

    // The platform decides what is protected, asked with the process as it was shown; what it protects
    // gets no signal, neither through the controller nor through the checked signal itself.
    platform.put(worker());
    QStringList asked;
    platform.setProtection([&asked](const QString& name, const QString& executable) {
        asked.append(name + u'|' + executable);
        return name == u"worker";
    });
    ProcessSample sample = sampleOf(worker());
    EXPECT_FALSE(controller.canStop(sample));
    EXPECT_EQ(stopError(controller, sample), protectedSentence);
    EXPECT_EQ(platform.signalChecked(sample.identity, sample.uid, SIGTERM), LV_SIGNAL_REFUSED);
    EXPECT_TRUE(platform.sentSignals().isEmpty());
    EXPECT_EQ(asked.value(0), QStringLiteral("worker|/usr/bin/worker"));
    sample.name = QStringLiteral("gnome-shell");
    EXPECT_TRUE(controller.canStop(sample));
}

TEST(ProcessController, StopRechecksPathCommandAndIdentityThenMapsTheSignalResult) {
    struct Case {
        const char* what;
        std::function<void(Process&)> change; // to the live process, after sampling
        int signalResult;
        QString sentence; // empty: stopped
        bool signalled;
        bool markedStale;
    };
    const Case cases[] = {
        {"unchanged", {}, LV_SIGNAL_SENT, {}, true, false},
        {"refused at the signal",
         {},
         LV_SIGNAL_REFUSED,
         QStringLiteral("系统不允许停止该进程。请使用系统监视器查看。"),
         true,
         false},
        {"signal failed", {}, EIO, QStringLiteral("停止失败：读写磁盘时出错。"), true, false},
        {"pid reused with the same command", [](Process& p) { p.record.start_us += 1; }, 0, gone, false,
         false},
        {"zombie", [](Process& p) { p.record.status = LV_STATUS_ZOMBIE; }, 0, gone, false, false},
        {"arguments rewritten", [](Process& p) { p.arguments = "worker --other"; }, 0, commandChanged, false,
         true},
        {"executable replaced", [](Process& p) { p.path += " (deleted)"; }, 0, pathChanged, false, true},
        {"exited", [](Process& p) { p.readable = false; }, 0, pathChanged, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InMemoryProcessPlatform platform;
        const ProcessController controller(platform);
        platform.put(worker());
        const ProcessSample sample = sampleOf(worker());
        if (c.change)
            platform.change(sample.identity.pid, c.change);
        platform.setSignalResult(c.signalResult);
        EXPECT_EQ(stopError(controller, sample), c.sentence);
        EXPECT_EQ(platform.sentSignals().size(), c.signalled ? 1 : 0);
        EXPECT_EQ(platform.takeStale(), c.markedStale ? QList{sample.identity} : QList<ProcessIdentity>{});
    }

    InMemoryProcessPlatform platform;
    const ProcessController controller(platform);
    platform.put(worker());
    ProcessSample sample = sampleOf(worker());
    EXPECT_EQ(stopError(controller, sample, true), QString());
    EXPECT_EQ(stopError(controller, sample, false), QString());
    const InMemoryProcessPlatform::SentSignal kill{sample.identity, sample.uid, SIGKILL};
    const InMemoryProcessPlatform::SentSignal term{sample.identity, sample.uid, SIGTERM};
    EXPECT_EQ(platform.sentSignals(), (QList{kill, term}));

    sample.name = QStringLiteral("gnome-shell");
    EXPECT_EQ(stopError(controller, sample), protectedSentence);
    // A command that was unreadable when sampled and still is counts as unchanged.
    platform.change(4242, [](Process& p) { p.arguments.clear(); });
    sample = sampleOf(worker());
    sample.command.clear();
    EXPECT_EQ(stopError(controller, sample), QString());
    EXPECT_EQ(platform.sentSignals().size(), 3);
}

TEST(ProcessController, Liveness) {
    InMemoryProcessPlatform platform;
    const ProcessController controller(platform);
    platform.put(InMemoryProcessPlatform::process(500, 10, "p"));
    platform.put(InMemoryProcessPlatform::process(501, 10, "zombie"));
    platform.change(501, [](Process& p) { p.record.status = LV_STATUS_ZOMBIE; });
    platform.put(InMemoryProcessPlatform::process(502, 10, "unreadable"));
    platform.change(502, [](Process& p) { p.readable = false; });
    const std::pair<ProcessIdentity, ProcessLiveness> cases[] = {
        {{500, 10}, ProcessLiveness::running},      {{500, 11}, ProcessLiveness::exited},
        {{501, 10}, ProcessLiveness::exited},       {{503, 10}, ProcessLiveness::exited}, // no such pid
        {{502, 10}, ProcessLiveness::unverifiable}, {{500, 0}, ProcessLiveness::unverifiable},
        {{0, 10}, ProcessLiveness::unverifiable},
    };
    for (const auto& [identity, liveness] : cases) {
        EXPECT_EQ(controller.liveness(identity), liveness) << identity.key().toStdString();
        EXPECT_EQ(controller.isAlive(identity), liveness != ProcessLiveness::exited);
    }
}

} // namespace

// Whatever error number the signal fails with, even one the system does not know, the user reads why in
// Chinese, never the system's English text ("No such file or directory").
TEST(ProcessController, AFailedSignalIsExplainedWithoutLatinLetters) {
    InMemoryProcessPlatform platform;
    const ProcessController controller(platform);
    platform.put(worker());
    const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (int error = 2; error <= EHWPOISON + 1; ++error) {
        platform.setSignalResult(error == LV_SIGNAL_GONE || error == LV_SIGNAL_IDENTITY_CHANGED ? 4242
                                                                                                : error);
        const QString sentence = stopError(controller, sampleOf(worker()));
        EXPECT_TRUE(sentence.startsWith(QStringLiteral("停止失败：")) && sentence.endsWith(u'。')) << error;
        EXPECT_FALSE(sentence.contains(latin)) << error << sentence.toStdString();
    }
}
