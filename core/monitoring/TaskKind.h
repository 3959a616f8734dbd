#pragma once

#include <QString>

namespace lunorvale {

// The kind of task a command line runs, as SourceResolver recognises it. The program decides on the
// kind; the title is only shown.
class TaskKind final {
public:
    enum class Kind { jestTest, vitestTest, xcodeBuild, devServer, build, python, node, background };

    constexpr TaskKind(Kind kind = Kind::background) : m_kind(kind) {}

    Kind kind() const { return m_kind; }
    // "Jest 测试", "开发服务", …, "后台任务".
    QString title() const;

    friend bool operator==(TaskKind a, TaskKind b) { return a.m_kind == b.m_kind; }

private:
    Kind m_kind;
};

} // namespace lunorvale
