#include "core/monitoring/SourceResolver.h"

#include "core/applications/BundlePaths.h"

namespace lunorvale::SourceResolver {

using BundlePaths::lastPathComponent;

TaskKind taskKind(const QString& command) {
    using Kind = TaskKind::Kind;
    const QString lowered = command.toLower();
    const auto has = [&](const char16_t* needle) {
        return lowered.contains(QStringView(needle));
    };
    if (has(u"jest"))
        return Kind::jestTest;
    if (has(u"vitest"))
        return Kind::vitestTest;
    if (has(u"xcodebuild"))
        return Kind::xcodeBuild;
    if (has(u"next dev") || has(u"vite"))
        return Kind::devServer;
    if (has(u"webpack") || has(u" build") || has(u"swift-build"))
        return Kind::build;
    if (has(u"python"))
        return Kind::python;
    if (has(u"node"))
        return Kind::node;
    return Kind::background;
}

QString taskType(const QString& command) {
    return taskKind(command).title();
}

QString source(const QString& name, const QString& executable, const QString& command) {
    return source(name, executable, command, QString());
}

QString source(const QString& name, const QString& executable, const QString& command,
               const QString& application) {
    const qsizetype bundle = executable.indexOf(QStringLiteral(".app/"));
    if (bundle >= 0)
        return lastPathComponent(executable.left(bundle));
    if (!application.isEmpty())
        return application;

    const qsizetype modules = command.indexOf(QStringLiteral("/node_modules/"));
    if (modules >= 0) {
        QString project = command.left(modules);
        const qsizetype blankSlash = project.lastIndexOf(QStringLiteral(" /"));
        if (blankSlash >= 0)
            project = project.mid(blankSlash + 1);
        return lastPathComponent(project) + QStringLiteral(" · ") + taskType(command);
    }

    const TaskKind kind = taskKind(command);
    return kind == TaskKind::Kind::background ? name : kind.title();
}

} // namespace lunorvale::SourceResolver
