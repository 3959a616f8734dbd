#include "platform/probes/ProcMemoryParse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace lunorvale::probes;

namespace {

std::string pressure(const std::string& some, const std::string& full) {
    return "some avg10=" + some + " avg60=0.00 avg300=0.00 total=1234\nfull avg10=" + full +
           " avg60=0.00 avg300=0.00 total=99\n";
}

} // namespace

TEST(ProcMemoryParse, PressureLevelsAtTheirThresholds) {
    const std::pair<std::string, int32_t> cases[] = {
        {pressure("9.99", "9.99"), 1},
        {pressure("10.00", "0.00"), 2},
        {pressure("39.99", "9.99"), 2},
        {pressure("40.00", "0.00"), 4},
        {pressure("9.99", "10.00"), 4},
        {"some avg10=12.50 avg60=0.00 avg300=0.00 total=1\n", 2}, // kernels without a "full" line
        {"full avg10=50.00 avg60=0.00 avg300=0.00 total=1\n", 0}, // no "some": unknown
        {pressure("10.0q", "0.00"), 0},
    };
    for (const auto& [text, level] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(parseMemoryPressure(text), level);
    }
}

// Used memory is what is not available; compressed memory is the zswap pool and the zram devices
// together; each figure counts only with both of its lines.
TEST(ProcMemoryParse, FiguresFromMemInfoAndZram) {
    const std::string meminfo =
        "MemTotal:       16000000 kB\nMemFree:         1000000 kB\n"
        "MemAvailable:    6000000 kB\nSwapTotal:       2000000 kB\n"
        "SwapFree:        1500000 kB\nZswap:              4000 kB\nHugePages_Total:       0\n";
    const uint64_t k = 1024;
    struct Case {
        const char* what;
        std::string meminfo;
        uint64_t zram;
        LVSystemMemory expected;
    };
    const Case cases[] = {
        {"zswap and zram",
         meminfo,
         3000,
         {16000000 * k, 10000000 * k, 4000 * k + 3000, 500000 * k, 1, 1, 1, 2}},
        {"neither", "MemTotal: 8 kB\nMemAvailable: 2 kB\n", 0, {8 * k, 6 * k, 0, 0, 1, 1, 0, 2}},
        {"zram only",
         "MemTotal: 8 kB\nMemAvailable: 2 kB\nSwapTotal: 4 kB\nSwapFree: 4 kB\n",
         512,
         {8 * k, 6 * k, 512, 0, 1, 1, 1, 2}},
        {"malformed lines",
         "MemTotal: 8 MB\nMemAvailable: x kB\nSwapFree 4 kB\n",
         0,
         {0, 0, 0, 0, 0, 0, 0, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const LVSystemMemory memory = systemMemoryFrom(parseMemInfo(c.meminfo), c.zram, 2);
        EXPECT_EQ(std::memcmp(&memory, &c.expected, sizeof memory), 0)
            << memory.physical_bytes << " " << memory.used_bytes << " " << memory.compressed_bytes << " "
            << memory.swap_used_bytes << " " << memory.has_physical << memory.has_memory << memory.has_swap;
    }
    EXPECT_EQ(parseZramMemoryUsed("  4096   1024  65536  0 65536 0 0 0 0\n"), 65536u);
    EXPECT_EQ(parseZramMemoryUsed("4096 1024\n"), std::nullopt);
}
