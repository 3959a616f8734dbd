// The kernel's process status line: whatever parses is read again the same way from a line written out
// of its fields, and a line written from chosen fields (any name, any numbers, any program image) reads
// back as those.

#include "fuzz/support/Fuzz.h"
#include "platform/probes/ProcStatParse.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using lunorvale::fuzz::check;
using namespace lunorvale::probes;

namespace {

// A line as the kernel prints it, with zeros in the fields nobody reads; `image` is the program image
// (start and end of the code, start and end of the arguments).
std::string line(std::string_view comm, char state, int32_t ppid, uint64_t utime, uint64_t stime,
                 uint64_t starttime, const std::string& rss, const uint64_t (&image)[4] = {}) {
    std::string zeros;
    for (int i = 0; i < 20; ++i)
        zeros += " 0";
    return "4321 (" + std::string(comm) + ") " + state + " " + std::to_string(ppid) + " 0 0 0 0 0 0 0 0 0 " +
           std::to_string(utime) + " " + std::to_string(stime) + " 0 0 0 0 0 0 " + std::to_string(starttime) +
           " 0 " + rss + " 0 " + std::to_string(image[0]) + " " + std::to_string(image[1]) + zeros + " " +
           std::to_string(image[2]) + " " + std::to_string(image[3]) + " 0 0 0\n";
}

bool same(const ProcStat& a, const ProcStat& b) {
    return a.comm == b.comm && a.state == b.state && a.ppid == b.ppid && a.utime == b.utime &&
           a.stime == b.stime && a.starttime == b.starttime && a.rss == b.rss && a.startCode == b.startCode &&
           a.endCode == b.endCode && a.argStart == b.argStart && a.argEnd == b.argEnd;
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {QByteArray::fromStdString(line("sleep", 'S', 1, 5, 7, 98765, "300")),
            QByteArray::fromStdString(line("a b) c", 'R', 0, 0, 0, 0, "-1")),
            QByteArray::fromStdString(line("名前", 'Z', 2147483647, 18446744073709551615ull, 1, 2, "4"))};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const std::optional<ProcStat> parsed = parseProcStat(text)) {
        check(parsed->comm.data() == text.data() + text.find('(') + 1, "the name starts after the first '('");
        check(parsed->comm.data() + parsed->comm.size() == text.data() + text.rfind(')'),
              "the name ends at the last ')'");
        check(parsed->ppid >= 0, "the parent pid is not negative");
        const std::string again =
            line(parsed->comm, parsed->state, parsed->ppid, parsed->utime, parsed->stime, parsed->starttime,
                 std::to_string(parsed->rss),
                 {parsed->startCode, parsed->endCode, parsed->argStart, parsed->argEnd});
        const std::optional<ProcStat> reread = parseProcStat(again);
        check(reread && same(*reread, *parsed), "a line written from parsed fields reads back as them");
    }
    const uint32_t status = statusForState(size > 0 ? char(data[0]) : 0);
    check(status >= 2 && status <= 5, "every state letter maps to a record status");

    FuzzedDataProvider provider(data, size);
    ProcStat chosen;
    chosen.state = provider.PickValueInArray({'R', 'S', 'D', 'Z', 'T', 't', 'X', 'I', 'W', 'P'});
    chosen.ppid = provider.ConsumeIntegralInRange<int32_t>(0, INT32_MAX);
    chosen.utime = provider.ConsumeIntegral<uint64_t>();
    chosen.stime = provider.ConsumeIntegral<uint64_t>();
    chosen.starttime = provider.ConsumeIntegral<uint64_t>();
    const int64_t pages = provider.ConsumeIntegral<int64_t>();
    chosen.rss = pages > 0 ? uint64_t(pages) : 0;
    const uint64_t image[4] = {provider.ConsumeIntegral<uint64_t>(), provider.ConsumeIntegral<uint64_t>(),
                               provider.ConsumeIntegral<uint64_t>(), provider.ConsumeIntegral<uint64_t>()};
    chosen.startCode = image[0];
    chosen.endCode = image[1];
    chosen.argStart = image[2];
    chosen.argEnd = image[3];
    const std::string comm = provider.ConsumeRemainingBytesAsString();
    chosen.comm = comm;
    const std::string written = line(comm, chosen.state, chosen.ppid, chosen.utime, chosen.stime,
                                     chosen.starttime, std::to_string(pages), image);
    const std::optional<ProcStat> read = parseProcStat(written);
    check(read && same(*read, chosen), "a line of chosen fields and any name reads back as them");
    return 0;
}
