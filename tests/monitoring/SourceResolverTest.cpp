#include "core/monitoring/SourceResolver.h"

#include <gtest/gtest.h>

using namespace lunorvale;

TEST(SourceResolver, TaskTypeRulesInOrder) {
    const std::pair<const char*, const char*> cases[] = {
        {"node /u/p/node_modules/.bin/jest --watch", "Jest 测试"},
        {"node /u/p/node_modules/.bin/vitest run", "Vitest 测试"}, // before "vite" and "node"
        {"xcodebuild -scheme App", "Xcode 构建"},
        {"npx next dev", "开发服务"},
        {"node /u/p/node_modules/vite/bin/vite.js", "开发服务"},
        {"webpack --mode production", "构建任务"},
        {"cargo build", "构建任务"},
        {"swift-build -c release", "构建任务"},
        {"/usr/bin/python3 train.py", "Python 任务"},
        {"PYTHON3 SCRIPT.PY", "Python 任务"}, // case does not matter
        {"/usr/local/bin/node server.js", "Node.js 任务"},
        {"", "后台任务"},
        {"/usr/bin/sleep 60", "后台任务"},
        {"builder", "后台任务"}, // " build" needs its leading blank
    };
    for (const auto& [command, expected] : cases)
        EXPECT_EQ(SourceResolver::taskType(QString::fromUtf8(command)), QString::fromUtf8(expected))
            << command;
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
