#pragma once

#include <QString>

namespace lunorvale::SourceResolver {

// The kind of task a command line runs, such as "Jest 测试" or "构建任务"; "后台任务" otherwise.
QString taskType(const QString& command);
// Where a process comes from: its outermost application bundle, a node project with its kind of
// task, a recognised kind of task, or else its name.
QString source(const QString& name, const QString& executable, const QString& command);

} // namespace lunorvale::SourceResolver
