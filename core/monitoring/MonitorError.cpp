#include "core/monitoring/MonitorError.h"

namespace lunorvale {

MonitorError::MonitorError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {
    m_utf8 = errorDescription().toUtf8();
}

QString MonitorError::errorDescription() const {
    if (m_kind == Kind::unavailable)
        // Linux hides /proc from a program in a few ways: no /proc in its mount namespace, a hidepid
        // mount, or a sandbox (Flatpak, Snap, a container) that gives it a /proc of its own.
        return QStringLiteral(
            "无法读取进程。/proc 可能未挂载或以 hidepid 选项挂载，或岚栖运行在限制进程访问的"
            "沙盒或容器中。");
    return m_message;
}

} // namespace lunorvale
