#include "app/model/ProcessInspection.h"

#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

ProcessSample process(int32_t pid, int32_t parent, uint64_t startTime, uint32_t uid = 1000) {
    ProcessSample sample;
    sample.identity = {pid, startTime};
    sample.parentPID = parent;
    sample.uid = uid;
    sample.executable = QStringLiteral("/usr/bin/p%1").arg(pid);
    sample.command = QStringLiteral("p%1").arg(pid);
    return sample;
}

// A chain 100 ← 101 ← 102 ← 103 (103 the child), each started after its parent.
QList<ProcessSample> chain() {
    return {process(100, 1, 10), process(101, 100, 20), process(102, 101, 30), process(103, 102, 40)};
}

} // namespace

TEST(ProcessInspection, FindsTheOwningApplicationUpTheChain) {
    struct Case {
        const char* name;
        std::function<void(QList<ProcessSample>&)> edit;
        QSet<int32_t> applications;
        int depth;
        std::optional<int32_t> owner;
    };
    const std::vector<Case> cases{
        {"itself an application", {}, {103, 100}, 32, 103},
        {"nearest ancestor", {}, {101, 100}, 32, 101},
        {"depth counts the process itself", {}, {100}, 3, std::nullopt},
        {"depth reaches the root", {}, {100}, 4, 100},
        {"no application", {}, {}, 32, std::nullopt},
        {"parent listed twice", [](auto& l) { l.append(process(102, 1, 5)); }, {100}, 32, std::nullopt},
        {"parent of another user", [](auto& l) { l[1].uid = 0; }, {100}, 32, std::nullopt},
        {"parent younger than its child",
         [](auto& l) { l[2].identity.startTime = 50; },
         {100},
         32,
         std::nullopt},
        {"a loop", [](auto& l) { l[0].parentPID = 103; }, {999}, 32, std::nullopt},
        {"the chain ends at pid 1", [](auto& l) { l[0].parentPID = 1; }, {1}, 32, std::nullopt},
        {"the process changed its program",
         [](auto& l) { l[3].command = QStringLiteral("other"); },
         {103},
         32,
         std::nullopt},
        {"its pid listed twice", [](auto& l) { l.append(process(103, 1, 90)); }, {103}, 32, std::nullopt},
    };
    const ProcessSample child = chain().last();
    for (const Case& c : cases) {
        QList<ProcessSample> list = chain();
        if (c.edit)
            c.edit(list);
        const auto owner = ProcessInspection::applicationProcess(child, list, c.applications, c.depth);
        EXPECT_EQ(owner ? std::optional(owner->pid) : std::nullopt, c.owner) << c.name;
    }
}
