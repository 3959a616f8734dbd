#include "core/monitoring/ProcessController.h"

#include "core/common/ErrorCause.h"
#include "core/monitoring/MonitorError.h"

#include <csignal>

namespace lunorvale {

bool ProcessController::canStop(const ProcessSample& sample) const {
    if (sample.identity.pid < 2 || sample.identity.pid == m_platform.currentProcess())
        return false;
    if (sample.uid != m_platform.currentUser() || sample.executable.isEmpty())
        return false;
    return !m_platform.isProtected(sample.name, sample.executable);
}

void ProcessController::stop(const ProcessSample& sample, bool force) const {
    if (!canStop(sample))
        throw MonitorError::action(
            QStringLiteral("这个进程不支持在这里停止。系统关键进程和其他用户的进程受到保护。"));

    if (m_platform.processPath(sample.identity.pid) != sample.executable) {
        m_platform.markStale(sample.identity);
        throw MonitorError::action(QStringLiteral("进程已退出或执行程序已变化，请刷新后重试。"));
    }
    if (m_platform.processArguments(sample.identity.pid) != sample.command) {
        m_platform.markStale(sample.identity);
        throw MonitorError::action(QStringLiteral("进程的任务命令已变化，请刷新后重新确认。"));
    }

    const int result = m_platform.signalChecked(sample.identity, sample.uid, force ? SIGKILL : SIGTERM);
    switch (result) {
    case LV_SIGNAL_SENT:
        return;
    case LV_SIGNAL_REFUSED:
        throw MonitorError::action(QStringLiteral("系统不允许停止该进程。请使用系统监视器查看。"));
    case LV_SIGNAL_GONE:
    case LV_SIGNAL_IDENTITY_CHANGED:
        throw MonitorError::action(QStringLiteral("该进程已退出或身份已变化，没有发送停止信号。"));
    default:
        throw MonitorError::action(QStringLiteral("停止失败：") + ErrorCause::sentence(result));
    }
}

ProcessLiveness ProcessController::liveness(const ProcessIdentity& identity) const {
    if (identity.pid < 1 || identity.startTime == 0)
        return ProcessLiveness::unverifiable;
    if (const auto record = m_platform.readProcess(identity.pid)) {
        const bool same = record->pid == identity.pid && record->start_us == identity.startTime;
        return same && record->status != LV_STATUS_ZOMBIE ? ProcessLiveness::running
                                                          : ProcessLiveness::exited;
    }
    return m_platform.processGone(identity.pid) ? ProcessLiveness::exited : ProcessLiveness::unverifiable;
}

bool ProcessController::isAlive(const ProcessIdentity& identity) const {
    return liveness(identity) != ProcessLiveness::exited;
}

} // namespace lunorvale
