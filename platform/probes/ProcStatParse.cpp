#include "platform/probes/ProcStatParse.h"

#include <charconv>

namespace lunorvale::probes {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename T> bool parseNumber(std::string_view token, T& value) {
    const char* end = token.data() + token.size();
    auto [ptr, ec] = std::from_chars(token.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// Field positions counted from the state letter (the third field of the line).
constexpr int stateField = 0;
constexpr int ppidField = 1;
constexpr int utimeField = 11;
constexpr int stimeField = 12;
constexpr int starttimeField = 19;
constexpr int rssField = 21;

} // namespace

std::optional<ProcStat> parseProcStat(std::string_view text) noexcept {
    const size_t open = text.find('(');
    const size_t close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open)
        return std::nullopt;
    // "PID " in front of the name.
    if (open < 2 || text[open - 1] != ' ')
        return std::nullopt;
    for (size_t i = 0; i + 1 < open; ++i) {
        if (!isDigit(text[i]))
            return std::nullopt;
    }

    ProcStat result;
    result.comm = text.substr(open + 1, close - open - 1);

    std::string_view rest = text.substr(close + 1);
    int field = 0;
    while (field <= rssField) {
        if (rest.empty() || rest.front() != ' ')
            return std::nullopt;
        rest.remove_prefix(1);
        size_t length = 0;
        while (length < rest.size() && rest[length] != ' ' && rest[length] != '\n')
            ++length;
        const std::string_view token = rest.substr(0, length);
        if (token.empty())
            return std::nullopt;
        rest.remove_prefix(length);

        switch (field) {
        case stateField:
            if (token.size() != 1)
                return std::nullopt;
            result.state = token.front();
            break;
        case ppidField:
            if (!parseNumber(token, result.ppid) || result.ppid < 0)
                return std::nullopt;
            break;
        case utimeField:
            if (!parseNumber(token, result.utime))
                return std::nullopt;
            break;
        case stimeField:
            if (!parseNumber(token, result.stime))
                return std::nullopt;
            break;
        case starttimeField:
            if (!parseNumber(token, result.starttime))
                return std::nullopt;
            break;
        case rssField: {
            // Printed as a signed long; a negative count is nonsense and reads as nothing resident.
            int64_t pages = 0;
            if (!parseNumber(token, pages))
                return std::nullopt;
            result.rss = pages > 0 ? static_cast<uint64_t>(pages) : 0;
            break;
        }
        default:
            break;
        }
        ++field;
    }
    return result;
}

uint32_t statusForState(char state) noexcept {
    switch (state) {
    case 'R':
        return 2;
    case 'T':
    case 't':
        return 4;
    case 'Z':
    case 'X':
    case 'x':
        return 5;
    default:
        return 3;
    }
}

} // namespace lunorvale::probes
