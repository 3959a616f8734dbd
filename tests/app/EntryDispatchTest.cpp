#include "app/modes/LunorvaleEntry.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Mode = LunorvaleEntry::Dispatch::Mode;

namespace {
LunorvaleEntry::Dispatch pick(QStringList args) {
    args.prepend(QStringLiteral("/usr/bin/lunorvale"));
    return LunorvaleEntry::dispatch(args);
}
} // namespace

TEST(EntryDispatch, FirstApplicableRuleWins) {
    EXPECT_EQ(pick({"--smoke-test", "--probe"}).mode, Mode::probe);
    EXPECT_EQ(pick({"--smoke-test", "--applications-probe"}).mode, Mode::smokeTest);
    EXPECT_EQ(pick({"--ai-smoke", "u", "--applications-probe"}).mode, Mode::applicationsProbe);

    const auto apps = pick({"--ai-smoke", "http://a", "--applications-ai-smoke", "http://b"});
    EXPECT_EQ(apps.mode, Mode::applicationsAISmoke);
    EXPECT_EQ(apps.address, "http://b");
    const auto decision = pick({"--ai-smoke", "http://a", "--decision-ai-smoke", "http://c"});
    EXPECT_EQ(decision.mode, Mode::decisionAISmoke);
    EXPECT_EQ(decision.address, "http://c");

    // The argument after the flag is taken unchanged even when it looks like a flag; first occurrence wins.
    const auto odd = pick({"--ai-smoke", "--ai-smoke", "x"});
    EXPECT_EQ(odd.mode, Mode::aiSmoke);
    EXPECT_EQ(odd.address, "--ai-smoke");

    // A flag that is the last argument does not apply.
    EXPECT_EQ(pick({"--ai-smoke"}).mode, Mode::application);
    EXPECT_EQ(pick({"x", "--applications-ai-smoke"}).mode, Mode::application);
    EXPECT_EQ(pick({"--applications-ai-smoke", "--ai-smoke"}).mode, Mode::applicationsAISmoke);
    // Flags are whole arguments, and the program path is an argument like the others.
    EXPECT_EQ(pick({"--probe=1", "-probe"}).mode, Mode::application);
    EXPECT_EQ(LunorvaleEntry::dispatch({"--probe"}).mode, Mode::probe);
}
