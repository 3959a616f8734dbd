#include "core/monitoring/SourceResolver.h"

#include <QStringList>

namespace lunorvale::SourceResolver {
namespace {

QString lastPathComponent(QString path) {
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    if (path == QStringLiteral("/"))
        return path;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? path : path.mid(slash + 1);
}

} // namespace

QString taskType(const QString& command) {
    const QString lowered = command.toLower();
    struct Rule {
        QStringList needles;
        QString result;
    };
    static const Rule rules[] = {
        {{QStringLiteral("jest")}, QStringLiteral("Jest 测试")},
        {{QStringLiteral("vitest")}, QStringLiteral("Vitest 测试")},
        {{QStringLiteral("xcodebuild")}, QStringLiteral("Xcode 构建")},
        {{QStringLiteral("next dev"), QStringLiteral("vite")}, QStringLiteral("开发服务")},
        {{QStringLiteral("webpack"), QStringLiteral(" build"), QStringLiteral("swift-build")},
         QStringLiteral("构建任务")},
        {{QStringLiteral("python")}, QStringLiteral("Python 任务")},
        {{QStringLiteral("node")}, QStringLiteral("Node.js 任务")},
    };
    for (const Rule& rule : rules) {
        for (const QString& needle : rule.needles) {
            if (lowered.contains(needle))
                return rule.result;
        }
    }
    return QStringLiteral("后台任务");
}

QString source(const QString& name, const QString& executable, const QString& command) {
    const qsizetype bundle = executable.indexOf(QStringLiteral(".app/"));
    if (bundle >= 0)
        return lastPathComponent(executable.left(bundle));

    const qsizetype modules = command.indexOf(QStringLiteral("/node_modules/"));
    if (modules >= 0) {
        QString project = command.left(modules);
        const qsizetype blank = project.lastIndexOf(QStringLiteral(" /"));
        if (blank >= 0)
            project = project.mid(blank + 1);
        return lastPathComponent(project) + QStringLiteral(" · ") + taskType(command);
    }

    const QString type = taskType(command);
    return type == QStringLiteral("后台任务") ? name : type;
}

} // namespace lunorvale::SourceResolver
