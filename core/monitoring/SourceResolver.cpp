#include "core/monitoring/SourceResolver.h"

#include "core/applications/BundlePaths.h"

namespace lunorvale::SourceResolver {

using BundlePaths::lastPathComponent;

QString taskType(const QString& command) {
    const QString lowered = command.toLower();
    const auto has = [&](const char16_t* needle) {
        return lowered.contains(QStringView(needle));
    };
    if (has(u"jest"))
        return QStringLiteral("Jest 测试");
    if (has(u"vitest"))
        return QStringLiteral("Vitest 测试");
    if (has(u"xcodebuild"))
        return QStringLiteral("Xcode 构建");
    if (has(u"next dev") || has(u"vite"))
        return QStringLiteral("开发服务");
    if (has(u"webpack") || has(u" build") || has(u"swift-build"))
        return QStringLiteral("构建任务");
    if (has(u"python"))
        return QStringLiteral("Python 任务");
    if (has(u"node"))
        return QStringLiteral("Node.js 任务");
    return QStringLiteral("后台任务");
}

QString source(const QString& name, const QString& executable, const QString& command) {
    const qsizetype bundle = executable.indexOf(QStringLiteral(".app/"));
    if (bundle >= 0)
        return lastPathComponent(executable.left(bundle));

    const qsizetype modules = command.indexOf(QStringLiteral("/node_modules/"));
    if (modules >= 0) {
        QString project = command.left(modules);
        const qsizetype blankSlash = project.lastIndexOf(QStringLiteral(" /"));
        if (blankSlash >= 0)
            project = project.mid(blankSlash + 1);
        return lastPathComponent(project) + QStringLiteral(" · ") + taskType(command);
    }

    const QString type = taskType(command);
    return type == QStringLiteral("后台任务") ? name : type;
}

} // namespace lunorvale::SourceResolver
