#include "core/ai/DiagnosticSummary.h"

#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;
namespace detail = DiagnosticSummary::detail;

namespace {

ProcessSample sample() {
    ProcessSample s;
    s.identity = {48213, 1700000000123456};
    s.name = "secret-worker";
    s.executable = "/opt/private-tools/secret-worker";
    s.command = "/opt/private-tools/secret-worker --token hunter2 --project /home/alice/project";
    std::tie(s.parentPID, s.uid) = std::pair(1, 1000);
    s.cpuPercent = 123.456;
    s.residentBytes = 734003200; // 700 MiB
    s.elapsedSeconds = 3725.4;
    s.cpuTotalSeconds = 2810.6;
    s.source = "Private Tools";
    return s;
}

ProcessSample withCommand(const QString& command, const QString& executable = "/usr/bin/x",
                          const QString& name = "x") {
    ProcessSample s;
    s.command = command;
    s.executable = executable;
    s.name = name;
    return s;
}

} // namespace

TEST(DiagnosticSummary, FixedSampleGivesTheExactText) {
    Finding finding;
    finding.sample = sample();
    finding.sustainedSeconds = 420.5;
    finding.title = "secret-worker 持续高占用";
    finding.explanation = "/opt/private-tools/secret-worker";

    const QString text = DiagnosticSummary::make(sample(), finding);
    const QString expected =
        QString::fromUtf8("任务类型：未识别任务\n"
                          "CPU 使用率：123.5%（最近一个采样区间的均值，100% 约为一个逻辑核心）\n"
                          "进程已运行：3725 秒\n"
                          "累计 CPU 时间：2811 秒（不是连续高占用时长）\n"
                          "本地连续高占用观察：420 秒\n"
                          "当前驻留内存：700 MiB\n"
                          "证据边界：这些资源指标不能证明任务卡死；尚未检查日志、调用栈或任务进度。\n"
                          "请解释可能原因、影响、最小必要的进一步检查，并提出适合用户手动确认的处理建议。");
    EXPECT_EQ(text.toUtf8(), expected.toUtf8());
    for (const char* secret :
         {"secret-worker", "/opt/private-tools", "48213", "hunter2", "alice", "Private Tools", "1700000000"})
        EXPECT_FALSE(text.contains(QLatin1String(secret))) << secret;
}

TEST(DiagnosticSummary, MissingAndEdgeFigures) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const QString cpuTail = QStringLiteral("（最近一个采样区间的均值，100% 约为一个逻辑核心）");
    const struct {
        std::optional<double> cpu;
        double elapsed;
        uint64_t resident;
        int line;
        QString shown;
    } rows[] = {
        {std::nullopt, 1, 0, 1, "CPU 使用率：尚无有效采样" + cpuTail},
        {-1, 1, 0, 1, "CPU 使用率：尚无有效采样" + cpuTail},
        {nan, 1, 0, 1, "CPU 使用率：尚无有效采样" + cpuTail},
        {infinity, 1, 0, 1, "CPU 使用率：尚无有效采样" + cpuTail},
        {1, 59.6, 0, 2, "进程已运行：60 秒"},
        {1, -1, 0, 2, "进程已运行：未知 秒"},
        {1, infinity, 0, 2, "进程已运行：未知 秒"},
        {1, 1, 1048575, 5, "当前驻留内存：0 MiB"},
        {1, 1, 1572864, 5, "当前驻留内存：1 MiB"},
        {1, 1, 0, 4, "本地连续高占用观察：未达到本地持续高占用提醒条件"},
    };
    for (const auto& row : rows) {
        ProcessSample s = sample();
        std::tie(s.cpuPercent, s.elapsedSeconds, s.residentBytes) =
            std::tie(row.cpu, row.elapsed, row.resident);
        const QStringList lines = DiagnosticSummary::make(s, std::nullopt).split('\n');
        ASSERT_EQ(lines.size(), 8);
        EXPECT_EQ(lines[row.line], row.shown);
    }
}

TEST(DiagnosticSummary, TaskCategories) {
    QStringList forty;
    for (int i = 0; i < 40; ++i)
        forty << (i == 32 ? "jest" : "arg");
    const struct {
        const char* label;
        ProcessSample sample;
        const char* category;
    } rows[] = {
        {"jest token", withCommand("node jest --watch"), "Jest 测试（本地特征推断）"},
        {"jest path", withCommand("node /repo/node_modules/jest/bin/jest.js"), "Jest 测试（本地特征推断）"},
        {"jest as 33rd token", withCommand(forty.join(' ')), "未识别任务"},
        {"build tool executable", withCommand("", "/usr/bin/Ninja"), "构建或编译任务（本地特征推断）"},
        {"build tool name", withCommand("", "", "make"), "构建或编译任务（本地特征推断）"},
        {"build tool token", withCommand("sh -c /usr/bin/webpack"), "构建或编译任务（本地特征推断）"},
        {"npm run build", withCommand("npm run build"), "构建或编译任务（本地特征推断）"},
        {"npm test", withCommand("npm test"), "未识别任务"},
        {"npm test under node", withCommand("npm test", "/usr/bin/node"), "Node.js 任务"},
        {"build before npm", withCommand("yarn x", "", "x"), "未识别任务"},
        {"tab and ideographic space separate", withCommand("run\tnpm\u3000build"),
         "构建或编译任务（本地特征推断）"},
        {"nodejs name", withCommand("", "", "NodeJS"), "Node.js 任务"},
        {"python executable any case", withCommand("", "/usr/bin/Python3.12"), "Python 任务"},
        {"python3.12 process name only", withCommand("", "/usr/bin/other", "python3.12"), "未识别任务"},
        {"python3 process name", withCommand("", "/usr/bin/other", "Python3"), "Python 任务"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(detail::taskCategory(row.sample), QString::fromUtf8(row.category)) << row.label;
}
