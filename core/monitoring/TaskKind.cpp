#include "core/monitoring/TaskKind.h"

namespace lunorvale {

QString TaskKind::title() const {
    switch (m_kind) {
    case Kind::jestTest:
        return QStringLiteral("Jest 测试");
    case Kind::vitestTest:
        return QStringLiteral("Vitest 测试");
    case Kind::xcodeBuild:
        return QStringLiteral("Xcode 构建");
    case Kind::devServer:
        return QStringLiteral("开发服务");
    case Kind::build:
        return QStringLiteral("构建任务");
    case Kind::python:
        return QStringLiteral("Python 任务");
    case Kind::node:
        return QStringLiteral("Node.js 任务");
    case Kind::background:
        break;
    }
    return QStringLiteral("后台任务");
}

} // namespace lunorvale
