#include "core/monitoring/SourceResolver.h"

#include <gtest/gtest.h>

using namespace lunorvale;

TEST(SourceResolver, TaskTypeRulesInOrder) {
    using Kind = TaskKind::Kind;
    const struct {
        const char* command;
        Kind kind;
        const char* title;
    } cases[] = {
        {"node /u/p/node_modules/.bin/jest --watch", Kind::jestTest, "Jest 测试"},
        {"node /u/p/node_modules/.bin/vitest run", Kind::vitestTest,
         "Vitest 测试"}, // before "vite" and "node"
        {"xcodebuild -scheme App", Kind::xcodeBuild, "Xcode 构建"},
        {"npx next dev", Kind::devServer, "开发服务"},
        {"node /u/p/node_modules/vite/bin/vite.js", Kind::devServer, "开发服务"},
        {"webpack --mode production", Kind::build, "构建任务"},
        {"cargo build", Kind::build, "构建任务"},
        {"swift-build -c release", Kind::build, "构建任务"},
        {"/usr/bin/python3 train.py", Kind::python, "Python 任务"},
        {"PYTHON3 SCRIPT.PY", Kind::python, "Python 任务"}, // case does not matter
        {"/usr/local/bin/node server.js", Kind::node, "Node.js 任务"},
        {"", Kind::background, "后台任务"},
        {"/usr/bin/sleep 60", Kind::background, "后台任务"},
        {"builder", Kind::background, "后台任务"}, // " build" needs its leading blank
    };
    for (const auto& c : cases) {
        const QString command = QString::fromUtf8(c.command);
        EXPECT_EQ(SourceResolver::taskKind(command), TaskKind(c.kind)) << c.command;
        EXPECT_EQ(SourceResolver::taskType(command), QString::fromUtf8(c.title)) << c.command;
    }
}

TEST(SourceResolver, SourceLabels) {
    using SourceResolver::source;
    EXPECT_EQ(source("Editor", "/Applications/Editor.app/Contents/MacOS/Editor", "Editor"), "Editor");
    EXPECT_EQ(source("Inner",
                     "/Applications/Outer.app/Contents/Library/LoginItems/Inner.app/Contents/MacOS/Inner",
                     ""),
              "Outer");
    EXPECT_EQ(source("node", "/usr/local/bin/node", "node /Users/u/proj/node_modules/.bin/vite"),
              QStringLiteral("proj · 开发服务"));
    EXPECT_EQ(source("node", "/usr/bin/node", "/usr/bin/node /srv/app/node_modules/jest/bin/jest.js"),
              QStringLiteral("app · Jest 测试"));
    EXPECT_EQ(source("mystery", "/usr/bin/mystery", "mystery --serve"), "mystery");
    EXPECT_EQ(source("python3", "/usr/bin/python3", "python3 x.py"), QStringLiteral("Python 任务"));
    // A desktop application comes after the bundle and before every rule of the command line.
    EXPECT_EQ(source("code", "/usr/share/code/code", "code --type=utility node.mojom.NodeService", "Code"),
              "Code");
    EXPECT_EQ(source("Editor", "/Applications/Editor.app/Contents/MacOS/Editor", "Editor", "Other"),
              "Editor");
    EXPECT_EQ(source("node", "/usr/bin/node", "node /w/proj/node_modules/.bin/vite", ""),
              QStringLiteral("proj · 开发服务"));
}
