#include "core/monitoring/HistoryStorageError.h"

#include "core/common/ErrorCause.h"

namespace lunorvale {

HistoryStorageError::HistoryStorageError(Kind kind, int errorNumber)
    : m_kind(kind), m_errorNumber(errorNumber), m_utf8(errorDescription().toUtf8()) {}

QString HistoryStorageError::errorDescription() const {
    switch (m_kind) {
    case Kind::unavailable:
        break;
    case Kind::invalidFile:
        return QStringLiteral("本地历史记录已损坏。原文件已保留；清空历史后可重新开始记录。");
    case Kind::fileTooLarge:
        return QStringLiteral("本地历史记录文件过大，暂未加载。清空历史后可重新开始记录。");
    case Kind::unsupportedVersion:
        return QStringLiteral("历史记录来自更新的版本，暂时无法读取；请使用对应版本打开。");
    }
    return ErrorCause::withCause(QStringLiteral("无法读写本地历史记录，请检查磁盘空间及文件访问权限。"),
                                 m_errorNumber);
}

} // namespace lunorvale
