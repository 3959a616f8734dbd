#include "app/modes/LunorvaleEntry.h"

#include "core/monitoring/MonitorError.h"
#include "core/monitoring/ProcessCollector.h"
#include "core/monitoring/ProcessController.h"
#include "core/monitoring/ProcessResourceGrouper.h"
#include "platform/ChildProcesses.h"
#include "platform/LinuxProcessPlatform.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <memory>
#include <unistd.h>
#include <vector>

namespace lunorvale {
namespace {

// How long a stopped child of the self-test may take to end.
constexpr double exitDeadlineSeconds = 4.0;

const ProcessSample* findByPid(const MonitorSnapshot& snapshot, qint64 pid) {
    const auto it = std::find_if(snapshot.processes.cbegin(), snapshot.processes.cend(),
                                 [pid](const ProcessSample& p) { return p.identity.pid == pid; });
    return it == snapshot.processes.cend() ? nullptr : &*it;
}

// A child of the self-test. Whatever happens, it is stopped and reaped when this goes away.
class SmokeChild final {
public:
    SmokeChild(ProcessPlatform& platform, const QStringList& command, bool discardOutput) {
        const QString program = command.value(0);
        const QStringList arguments = command.mid(1);
        if (discardOutput)
            m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardInputFile(QProcess::nullDevice());
        useOriginalLimits(m_process);
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            throw MonitorError::action(m_process.errorString());
        // "Started" comes while the kernel is still setting up the program; its command line is
        // readable only at the end of that, and the checks below compare command lines.
        QElapsedTimer timer;
        timer.start();
        while (platform.processArguments(static_cast<int32_t>(pid())).isEmpty() && running() &&
               timer.elapsed() < 5000)
            m_process.waitForFinished(10);
    }
    ~SmokeChild() { stop(); }
    SmokeChild(const SmokeChild&) = delete;
    SmokeChild& operator=(const SmokeChild&) = delete;

    qint64 pid() const { return m_process.processId(); }
    bool running() { return m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(0); }
    // Waits up to `seconds` for the child to end, checking every 50 ms.
    bool waitForExit(double seconds) {
        QElapsedTimer timer;
        timer.start();
        while (running()) {
            if (timer.elapsed() >= static_cast<qint64>(seconds * 1000))
                return false;
            m_process.waitForFinished(50);
        }
        return true;
    }
    void stop() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }

private:
    QProcess m_process;
};

} // namespace

int LunorvaleEntry::probe() {
    try {
        LinuxProcessPlatform platform;
        ProcessCollector collector(platform);
        const MonitorSnapshot first = collector.collect();
        QThread::msleep(1000);
        const MonitorSnapshot second = collector.collect();

        const bool firstUnknown =
            std::none_of(first.processes.cbegin(), first.processes.cend(),
                         [](const ProcessSample& p) { return p.cpuPercent.has_value(); });
        const auto measured = std::count_if(second.processes.cbegin(), second.processes.cend(),
                                            [](const ProcessSample& p) { return p.cpuPercent.has_value(); });
        QJsonObject report{
            {QStringLiteral("status"), QStringLiteral("ok")},
            {QStringLiteral("processCount"), static_cast<qint64>(second.processes.size())},
            {QStringLiteral("firstSampleCPUUnknown"), firstUnknown},
            {QStringLiteral("measuredProcessCount"), static_cast<qint64>(measured)},
            {QStringLiteral("systemCPU"), second.systemCPU.value_or(-1)},
            {QStringLiteral("selfFound"), findByPid(second, getpid()) != nullptr},
            {QStringLiteral("resourceGroupCount"),
             static_cast<qint64>(ProcessResourceGrouper::groups(second.processes, platform).size())},
        };
        const auto memory = second.systemMemory;
        report.insert(QStringLiteral("memoryPressure"),
                      MemoryPressure::rawValue(memory ? memory->pressure : SystemMemoryPressure::unknown));
        if (memory) {
            const auto put = [&](const char* key, std::optional<uint64_t> value) {
                if (value)
                    report.insert(QString::fromLatin1(key), static_cast<qint64>(*value));
            };
            put("physicalMemoryBytes", memory->physicalBytes);
            put("compressedMemoryBytes", memory->compressedBytes);
            put("swapUsedBytes", memory->swapUsedBytes);
        }
        return printReport(report) ? 0 : 1;
    } catch (const MonitorError& error) {
        printReport(failureReport(error.errorDescription()));
        return 1;
    }
}

int LunorvaleEntry::smokeTest(const SmokeTestChildren& children) {
    LinuxProcessPlatform platform;
    const ProcessController controller(platform);
    std::unique_ptr<SmokeChild> sleeper;
    std::unique_ptr<SmokeChild> busy;
    try {
        sleeper = std::make_unique<SmokeChild>(platform, children.sleeper, false);
        ProcessCollector collector(platform);
        const MonitorSnapshot snapshot = collector.collect();
        const ProcessSample* found = findByPid(snapshot, sleeper->pid());
        if (!found)
            throw MonitorError::action(QStringLiteral("自建测试子进程未被采集到"));
        const ProcessSample child = *found;

        ProcessSample stale = child;
        stale.identity.startTime += 1;
        bool refused = false;
        try {
            controller.stop(stale, false);
        } catch (const MonitorError&) {
            refused = true;
        }
        if (!refused || !sleeper->running())
            throw MonitorError::action(QStringLiteral("陈旧身份保护失败"));

        controller.stop(child, false);
        const bool ended = sleeper->waitForExit(exitDeadlineSeconds);
        if (!ended || controller.isAlive(child.identity))
            throw MonitorError::action(QStringLiteral("测试子进程未正常停止"));

        busy = std::make_unique<SmokeChild>(platform, children.busy, true);
        collector.collect();
        QThread::msleep(1200);
        const MonitorSnapshot measured = collector.collect();
        const ProcessSample* load = findByPid(measured, busy->pid());
        const std::optional<double> percent = load ? load->cpuPercent : std::nullopt;
        if (!percent || !(*percent > 5.0 && *percent < 160.0))
            throw MonitorError::action(QStringLiteral("自建 CPU 负载测量未通过"));

        controller.stop(*load, false);
        if (!busy->waitForExit(exitDeadlineSeconds))
            throw MonitorError::action(QStringLiteral("测试子进程未正常停止"));
        const bool written = printReport(QJsonObject{{QStringLiteral("status"), QStringLiteral("ok")},
                                                     {QStringLiteral("ownedChildDetected"), true},
                                                     {QStringLiteral("staleIdentityRejected"), true},
                                                     {QStringLiteral("ownedChildTerminated"), true},
                                                     {QStringLiteral("exitRechecked"), true},
                                                     {QStringLiteral("busyChildCPU"), *percent}});
        return written ? 0 : 1;
    } catch (const MonitorError& error) {
        // The children are stopped by their destructors before the process ends.
        printReport(failureReport(error.errorDescription()));
        return 1;
    } catch (const std::exception& error) {
        printReport(failureReport(QString::fromLocal8Bit(error.what())));
        return 1;
    }
}

} // namespace lunorvale
