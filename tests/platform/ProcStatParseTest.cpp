#include "platform/probes/ProcStatParse.h"

#include <gtest/gtest.h>

#include <string>

using lunorvale::probes::parseProcStat;

namespace {

// A status line as the kernel prints it, with realistic values in the fields nobody reads; the
// program image (code 94489009270784-94489009587329, arguments 140729473820958-140729473820990).
std::string statLine(const std::string& comm, char state, const std::string& ppid = "1",
                     const std::string& utime = "5", const std::string& rss = "300") {
    return "4321 (" + comm + ") " + state + " " + ppid + " 4321 4321 0 -1 4194560 120 0 0 0 " + utime +
           " 7 0 0 20 0 1 0 98765 8192000 " + rss +
           " 18446744073709551615 94489009270784 94489009587329 140729473813520 0 0 0 0 4096 65536 0 0 0 "
           "17 5 0 0 0 0 0 94489009669104 94489009689600 94489042395136 140729473820958 140729473820990 "
           "140729473820990 140729473822681 0\n";
}

} // namespace

TEST(ProcStatParse, ReadsTheFieldsOfWellFormedLines) {
    struct Case {
        std::string comm;
        char state;
    };
    const Case cases[] = {
        {"sleep", 'S'},
        {"a b) c", 'R'},
        {"()", 'D'},
        {")", 'S'},
        {"", 'I'},
        {"x) Z 1 2 (y", 'T'},
        {"kworker/0:1-events", 'I'},
        {"名前", 'S'},
        {"zombie", 'Z'},
        {"dead", 'X'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comm);
        const std::string line = statLine(c.comm, c.state);
        const auto stat = parseProcStat(line);
        ASSERT_TRUE(stat.has_value());
        EXPECT_EQ(stat->comm, c.comm);
        EXPECT_EQ(stat->state, c.state);
        EXPECT_EQ(stat->ppid, 1);
        EXPECT_EQ(stat->utime, 5u);
        EXPECT_EQ(stat->stime, 7u);
        EXPECT_EQ(stat->starttime, 98765u);
        EXPECT_EQ(stat->rss, 300u);
        EXPECT_EQ(stat->startCode, 94489009270784u);
        EXPECT_EQ(stat->endCode, 94489009587329u);
        EXPECT_EQ(stat->argStart, 140729473820958u);
        EXPECT_EQ(stat->argEnd, 140729473820990u);
    }
}

// The program image is taken only whole: a line cut anywhere before the end of its last field, or
// one whose fields before it are missing, still parses without it.
TEST(ProcStatParse, ALineCutAfterTheResidentSizeParsesWithTheProgramImageOnlyWhenWhole) {
    const std::string line = statLine("cut", 'S');
    const size_t argEnd = line.find(" 140729473820990") + 16; // just after the arguments' end
    // Put together rather than replaced in place: GCC 12 at -O3 warns of an overflow in a
    // std::string::replace that shortens the string.
    const size_t field = line.find(" 4096 ");
    ASSERT_NE(field, std::string::npos);
    const std::string missingField = line.substr(0, field) + "  " + line.substr(field + 6);
    const std::pair<std::string, bool> cases[] = {
        {line.substr(0, line.find(" 18446744073709551615")), false},
        {line.substr(0, line.find(" 94489009587329")), false},
        {line.substr(0, argEnd - 1), false}, // may be "14072947382099" of a longer number
        {line.substr(0, argEnd), false},
        {line.substr(0, argEnd) + "\n", true},
        {line.substr(0, argEnd + 1), true},
        {missingField, false},
        {line, true},
    };
    for (const auto& [text, whole] : cases) {
        SCOPED_TRACE(text);
        const auto stat = parseProcStat(text);
        ASSERT_TRUE(stat.has_value());
        EXPECT_EQ(stat->rss, 300u);
        EXPECT_EQ(stat->endCode, whole ? 94489009587329u : 0u);
        EXPECT_EQ(stat->argEnd, whole ? 140729473820990u : 0u);
    }
}

TEST(ProcStatParse, HugeCountersAndNegativeResidentSize) {
    const auto big = parseProcStat(statLine("big", 'R', "0", "18446744073709551615"));
    ASSERT_TRUE(big.has_value());
    EXPECT_EQ(big->utime, 18446744073709551615u);
    EXPECT_EQ(big->ppid, 0);
    const auto negative = parseProcStat(statLine("neg", 'R', "1", "5", "-4"));
    ASSERT_TRUE(negative.has_value());
    EXPECT_EQ(negative->rss, 0u);
}

TEST(ProcStatParse, RefusesGarbage) {
    std::string cut = statLine("short", 'S');
    cut = cut.substr(0, cut.find(" 98765"));
    const std::string cases[] = {
        "",
        "hello",
        "12 (x",
        "12 x) S 1 2 3",
        "x12 (a) S 1",
        "(a) S 1",
        "12(a) S 1",
        "12 (a)",
        "12 (a) S",
        cut,
        statLine("a", 'S', "-1"),
        statLine("a", 'S', "abc"),
        statLine("a", 'S', "1", "5x"),
        statLine("a", 'S', "1", "5", ""),
        "12 (a) SS 1 4321 4321 0 -1 4194560 120 0 0 0 5 7 0 0 20 0 1 0 98765 8192000 300",
        "12 (a)  S 1 4321 4321 0 -1 4194560 120 0 0 0 5 7 0 0 20 0 1 0 98765 8192000 300",
    };
    for (const std::string& line : cases) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(parseProcStat(line).has_value());
    }
}
