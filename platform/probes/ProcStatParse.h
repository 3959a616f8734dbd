#pragma once

// Parsing of one process's kernel status line ("PID (comm) S ppid ..."), kept apart from the code
// that reads it so that it can be tested on any text.

#include <cstdint>
#include <optional>
#include <string_view>

namespace lunorvale::probes {

struct ProcStat {
    std::string_view comm; // points into the parsed text
    char state = 0;
    int32_t ppid = 0;
    uint64_t utime = 0;     // clock ticks
    uint64_t stime = 0;     // clock ticks
    uint64_t starttime = 0; // clock ticks since boot
    uint64_t threads = 0;   // 0 where the field is not a number
    uint64_t rss = 0;       // pages
    // Where the program's code and its argument area lie: a new program image (exec) moves them.
    // The kernel shows 1, 1, 0, 0 where it hides them from the reader. All four are 0 unless the
    // line holds them whole.
    uint64_t startCode = 0;
    uint64_t endCode = 0;
    uint64_t argStart = 0;
    uint64_t argEnd = 0;
};

// The fields the probes need, or nothing when the text is not a status line. The name may hold
// blanks and ')', so it runs from the first '(' to the last ')'. Only the fields up to the resident
// size must be present: a line cut after them still parses.
std::optional<ProcStat> parseProcStat(std::string_view text) noexcept;

// The thread group ("Tgid:") of a process's or thread's status text, or nothing when the text holds
// no such line.
std::optional<int32_t> parseThreadGroup(std::string_view statusText) noexcept;

// The record status for a state letter: 2 running, 3 sleeping or waiting, 4 stopped, 5 zombie or dead.
uint32_t statusForState(char state) noexcept;

} // namespace lunorvale::probes
