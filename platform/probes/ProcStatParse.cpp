#include "platform/probes/ProcStatParse.h"

#include <charconv>
#include <cstring>

#include <string.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lunorvale::probes {

namespace {

// Field positions counted from the state letter (the third field of the line).
constexpr int stateField = 0;
constexpr int ppidField = 1;
constexpr int utimeField = 11;
constexpr int stimeField = 12;
constexpr int threadsField = 17;
constexpr int starttimeField = 19;
constexpr int rssField = 21;
constexpr int startCodeField = 23;
constexpr int endCodeField = 24;
constexpr int argStartField = 45;
constexpr int argEndField = 46;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Every sample parses one line per process: the fields are walked with plain pointers, and only
// the ones needed are converted, digit by digit (std::from_chars costs twice as much here).
bool parseNumber(std::string_view token, uint64_t& value) {
    if (token.empty())
        return false;
    uint64_t result = 0;
    for (const char c : token) {
        const unsigned digit = static_cast<unsigned char>(c) - unsigned{'0'};
        if (digit > 9 || __builtin_mul_overflow(result, 10, &result) ||
            __builtin_add_overflow(result, digit, &result))
            return false;
    }
    value = result;
    return true;
}

// Stores where the first `limit` blanks of [at, end) are; returns how many were found. Every
// sample parses one line per process, so sixteen characters are looked at together where the
// processor allows it.
int findBlanks(const char* at, const char* end, const char** blanks, int limit) {
    int count = 0;
#if defined(__SSE2__)
    const __m128i blank = _mm_set1_epi8(' ');
    while (end - at >= 16 && count < limit) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, blank)));
        while (mask != 0 && count < limit) {
            blanks[count++] = at + __builtin_ctz(mask);
            mask &= mask - 1;
        }
        at += 16;
    }
#endif
    for (; at != end && count < limit; ++at) {
        if (*at == ' ')
            blanks[count++] = at;
    }
    return count;
}

template <typename T> bool parseNumber(std::string_view token, T& value) {
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), value);
    return ec == std::errc() && ptr == token.data() + token.size();
}

} // namespace

std::optional<int32_t> parseThreadGroup(std::string_view statusText) noexcept {
    constexpr std::string_view key = "\nTgid:";
    const size_t at = statusText.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = statusText.substr(at + key.size());
    rest = rest.substr(0, rest.find('\n'));
    while (!rest.empty() && (rest.front() == '\t' || rest.front() == ' '))
        rest.remove_prefix(1);
    int32_t group = 0;
    if (!parseNumber(rest, group) || group < 1)
        return std::nullopt;
    return group;
}

std::optional<ProcStat> parseProcStat(std::string_view text) noexcept {
    const char* const begin = text.data();
    const auto* open = static_cast<const char*>(std::memchr(begin, '(', text.size()));
    const auto* close = static_cast<const char*>(::memrchr(begin, ')', text.size()));
    if (open == nullptr || close == nullptr || close < open)
        return std::nullopt;
    // "PID " in front of the name.
    if (open - begin < 2 || open[-1] != ' ')
        return std::nullopt;
    for (const char* at = begin; at + 1 < open; ++at) {
        if (!isDigit(*at))
            return std::nullopt;
    }

    ProcStat result;
    result.comm = std::string_view(open + 1, static_cast<size_t>(close - open - 1));

    // The fields end at the line's end; only a text without one may have cut its last number.
    const char* end = begin + text.size();
    const auto* newline =
        static_cast<const char*>(std::memchr(close, '\n', static_cast<size_t>(end - close)));
    const bool mayBeCut = newline == nullptr;
    if (newline != nullptr)
        end = newline;

    // Where each field's leading blank is.
    constexpr int wanted = argEndField + 2;
    const char* blanks[wanted];
    const int count = findBlanks(close + 1, end, blanks, wanted);
    // Field i runs from after its blank to the next blank or the end; it must not be empty.
    const auto field = [&](int i) -> std::optional<std::string_view> {
        if (i >= count)
            return std::nullopt;
        const char* first = blanks[i] + 1;
        const char* last = i + 1 < count ? blanks[i + 1] : end;
        if (first == last)
            return std::nullopt;
        return std::string_view(first, static_cast<size_t>(last - first));
    };
    if (close + 1 == end || close[1] != ' ')
        return std::nullopt;
    for (int i = 0; i <= rssField; ++i) {
        if (!field(i))
            return std::nullopt;
    }

    const std::string_view state = *field(stateField);
    if (state.size() != 1)
        return std::nullopt;
    result.state = state.front();
    int64_t pages = 0;
    if (!parseNumber(*field(ppidField), result.ppid) || result.ppid < 0 ||
        !parseNumber(*field(utimeField), result.utime) || !parseNumber(*field(stimeField), result.stime) ||
        !parseNumber(*field(starttimeField), result.starttime) || !parseNumber(*field(rssField), pages))
        return std::nullopt;
    if (!parseNumber(*field(threadsField), result.threads))
        result.threads = 0;
    // Printed as a signed long; a negative count is nonsense and reads as nothing resident.
    result.rss = pages > 0 ? static_cast<uint64_t>(pages) : 0;

    // The program image is taken only whole, and only while no field before it is missing.
    for (int i = rssField + 1; i <= argEndField; ++i) {
        if (!field(i))
            return result;
    }
    if (count == argEndField + 1 && mayBeCut)
        return result;
    uint64_t image[4] = {};
    if (!parseNumber(*field(startCodeField), image[0]) || !parseNumber(*field(endCodeField), image[1]) ||
        !parseNumber(*field(argStartField), image[2]) || !parseNumber(*field(argEndField), image[3]))
        return result;
    result.startCode = image[0];
    result.endCode = image[1];
    result.argStart = image[2];
    result.argEnd = image[3];
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
