#pragma once

#include "core/monitoring/TaskKind.h"

#include <QString>

namespace lunorvale::SourceResolver {

// The kind of task a command line runs: the first rule that holds for the lower-cased text.
TaskKind taskKind(const QString& command);
// Its title ("Jest 测试", "开发服务", ..., "后台任务").
QString taskType(const QString& command);
// Where a process comes from: the outermost application bundle, a node project with its kind of
// task, a recognised kind of task, or else the process name.
QString source(const QString& name, const QString& executable, const QString& command);
// The same for a process the desktop started as the application named `application` (empty: none),
// which it is labelled by unless its executable lies in a bundle.
QString source(const QString& name, const QString& executable, const QString& command,
               const QString& application);

} // namespace lunorvale::SourceResolver
