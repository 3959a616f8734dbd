#include "core/monitoring/MonitorError.h"

namespace lunorvale {

MonitorError::MonitorError(Kind kind, QString message) : m_kind(kind), m_message(std::move(message)) {
    m_utf8 = errorDescription().toUtf8();
}

QString MonitorError::errorDescription() const {
    if (m_kind == Kind::unavailable)
        return QStringLiteral(
            "无法读取进程。请从文件管理器打开完整的 Lunorvale；受限运行环境可能禁止进程访问。");
    return m_message;
}

} // namespace lunorvale
