#include "core/monitoring/ProcessController.h"

#include "core/monitoring/MonitorError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace lunorvale {

bool ProcessController::canStop(const ProcessSample& sample) {
    if (sample.identity.pid < 2)
        return false;
    if (sample.identity.pid == static_cast<int32_t>(getpid()))
        return false;
    if (sample.uid != static_cast<uint32_t>(getuid()))
        return false;
    if (sample.executable.isEmpty())
        return false;
    if (sample.executable.startsWith(QStringLiteral("/System/")) ||
        sample.executable.startsWith(QStringLiteral("/usr/libexec/")) ||
        sample.executable == QStringLiteral("/sbin/launchd"))
        return false;
    if (sample.name == QStringLiteral("loginwindow") || sample.name == QStringLiteral("WindowServer"))
        return false;
    return true;
}

void ProcessController::stop(const ProcessSample& sample, bool force, const ProcessProbes& probes) {
    if (!canStop(sample))
        throw MonitorError::action(
            QStringLiteral("这个进程不支持在这里停止。系统关键进程和其他用户的进程受到保护。"));

    std::vector<char> path(LV_PATH_BUFFER, '\0');
    probes.processPath(sample.identity.pid, path.data(), static_cast<uint32_t>(path.size()));
    path.back() = '\0';
    if (QString::fromUtf8(path.data()) != sample.executable)
        throw MonitorError::action(QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。"));

    std::vector<char> args(LV_ARGS_BUFFER, '\0');
    probes.processArgs(sample.identity.pid, args.data(), args.size());
    args.back() = '\0';
    if (QString::fromUtf8(args.data()) != sample.command)
        throw MonitorError::action(QStringLiteral("进程的任务命令已变化，请刷新后重新确认。"));

    const int result = probes.signalChecked(sample.identity.pid, sample.identity.startTime, sample.uid,
                                            force ? SIGKILL : SIGTERM);
    switch (result) {
    case 0:
        return;
    case 1:
        throw MonitorError::action(QStringLiteral("macOS 不允许停止该进程。请使用活动监视器查看。"));
    case 3:
    case 70:
        throw MonitorError::action(QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。"));
    default:
        throw MonitorError::action(QStringLiteral("停止失败：") +
                                   QString::fromLocal8Bit(std::strerror(result)));
    }
}

ProcessLiveness ProcessController::liveness(const ProcessIdentity& identity, const ProcessProbes& probes) {
    if (identity.pid < 1 || identity.startTime == 0)
        return ProcessLiveness::unverifiable;
    LVProcessRecord record{};
    if (probes.readProcess(identity.pid, &record) == 1) {
        const bool same = record.pid == identity.pid && record.start_us == identity.startTime;
        return same && record.status != LV_STATUS_ZOMBIE ? ProcessLiveness::running : ProcessLiveness::exited;
    }
    if (::kill(identity.pid, 0) != 0 && errno == ESRCH)
        return ProcessLiveness::exited;
    return ProcessLiveness::unverifiable;
}

bool ProcessController::isAlive(const ProcessIdentity& identity, const ProcessProbes& probes) {
    return liveness(identity, probes) != ProcessLiveness::exited;
}

} // namespace lunorvale
