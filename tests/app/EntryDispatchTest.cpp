#include "app/shell/LunorvaleEntry.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Mode = LunorvaleEntry::Dispatch::Mode;

// The whole argument list counts, program path included; flags are whole arguments.
TEST(EntryDispatch, FirstApplicableRuleWins) {
    const struct {
        QStringList arguments;
        Mode mode;
        const char* address;
    } rows[] = {
        {{"lunorvale", "--smoke-test", "--probe"}, Mode::probe, ""},
        {{"lunorvale", "--smoke-test", "--applications-probe"}, Mode::smokeTest, ""},
        {{"lunorvale", "--ai-smoke", "u", "--applications-probe"}, Mode::applicationsProbe, ""},
        {{"lunorvale", "--ai-smoke", "http://a", "--applications-ai-smoke", "http://b"},
         Mode::applicationsAISmoke,
         "http://b"},
        {{"lunorvale", "--ai-smoke", "http://a", "--decision-ai-smoke", "http://c"},
         Mode::decisionAISmoke,
         "http://c"},
        // The argument after the flag is taken unchanged even when it looks like a flag; first occurrence
        // wins.
        {{"lunorvale", "--ai-smoke", "--ai-smoke", "x"}, Mode::aiSmoke, "--ai-smoke"},
        {{"lunorvale", "--applications-ai-smoke", "--ai-smoke"}, Mode::applicationsAISmoke, "--ai-smoke"},
        // A flag that is the last argument does not apply.
        {{"lunorvale", "--ai-smoke"}, Mode::application, ""},
        {{"lunorvale", "x", "--applications-ai-smoke"}, Mode::application, ""},
        {{"lunorvale", "--probe=1", "-probe"}, Mode::application, ""},
        {{"--probe"}, Mode::probe, ""},
        {{}, Mode::application, ""},
    };
    for (const auto& row : rows) {
        const LunorvaleEntry::Dispatch chosen = LunorvaleEntry::dispatch(row.arguments);
        EXPECT_EQ(chosen.mode, row.mode) << row.arguments.join(u' ').toStdString();
        EXPECT_EQ(chosen.address, QString::fromLatin1(row.address)) << row.arguments.join(u' ').toStdString();
    }
}
