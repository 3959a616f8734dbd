#include "platform/probes/ProcMemoryParse.h"

#include <charconv>

namespace lunorvale::probes {

namespace {

// Calls `visit(line)` for each line of `text`; stops early when it returns true.
template <typename Visit> void forEachLine(std::string_view text, Visit&& visit) {
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        const std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        if (visit(line))
            return;
    }
}

void skipBlanks(std::string_view& text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
}

// The avg10 figure of the "some" or "full" line of the pressure file.
std::optional<double> pressureAverage(std::string_view text, std::string_view kind) {
    std::optional<double> result;
    forEachLine(text, [&](std::string_view line) {
        if (!line.starts_with(kind) || line.size() <= kind.size() || line[kind.size()] != ' ')
            return false;
        constexpr std::string_view key = " avg10=";
        const size_t at = line.find(key);
        if (at != std::string_view::npos) {
            const char* begin = line.data() + at + key.size();
            double value = 0;
            auto [ptr, ec] = std::from_chars(begin, line.data() + line.size(), value);
            if (ec == std::errc() && ptr != begin && (ptr == line.data() + line.size() || *ptr == ' '))
                result = value;
        }
        return true;
    });
    return result;
}

} // namespace

MemInfo parseMemInfo(std::string_view text) noexcept {
    MemInfo info;
    forEachLine(text, [&](std::string_view line) {
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            return false;
        const std::string_view key = line.substr(0, colon);
        std::string_view value = line.substr(colon + 1);
        skipBlanks(value);
        uint64_t number = 0;
        auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
        if (ec != std::errc() || ptr == value.data())
            return false;
        const std::string_view unit(ptr, static_cast<size_t>(value.data() + value.size() - ptr));
        if (unit == " kB") {
            if (number > UINT64_MAX / 1024)
                return false;
            number *= 1024;
        } else if (!unit.empty()) {
            return false;
        }
        std::optional<uint64_t>* slot = key == "MemTotal"       ? &info.total
                                        : key == "MemAvailable" ? &info.available
                                        : key == "SwapTotal"    ? &info.swapTotal
                                        : key == "SwapFree"     ? &info.swapFree
                                        : key == "Zswap"        ? &info.zswap
                                                                : nullptr;
        if (slot != nullptr)
            *slot = number;
        return false;
    });
    return info;
}

std::optional<uint64_t> parseZramMemoryUsed(std::string_view mmStat) noexcept {
    uint64_t value = 0;
    for (int field = 0; field < 3; ++field) {
        skipBlanks(mmStat);
        auto [ptr, ec] = std::from_chars(mmStat.data(), mmStat.data() + mmStat.size(), value);
        if (ec != std::errc())
            return std::nullopt;
        mmStat.remove_prefix(static_cast<size_t>(ptr - mmStat.data()));
    }
    return value;
}

int32_t parseMemoryPressure(std::string_view text) noexcept {
    const std::optional<double> some = pressureAverage(text, "some");
    if (!some)
        return 0;
    const std::optional<double> full = pressureAverage(text, "full");
    if ((full && *full >= 10.0) || *some >= 40.0)
        return 4;
    return *some >= 10.0 ? 2 : 1;
}

LVSystemMemory systemMemoryFrom(const MemInfo& info, uint64_t zramBytes, int32_t pressureLevel) noexcept {
    LVSystemMemory out{};
    if (info.total && *info.total != 0) {
        out.physical_bytes = *info.total;
        out.has_physical = 1;
    }
    if (info.total && info.available) {
        out.used_bytes = *info.total > *info.available ? *info.total - *info.available : 0;
        // Both compressors may be active at once (zswap in front of a zram swap); their pools add up.
        out.compressed_bytes = info.zswap.value_or(0) + zramBytes;
        out.has_memory = 1;
    }
    if (info.swapTotal && info.swapFree) {
        out.swap_used_bytes = *info.swapTotal > *info.swapFree ? *info.swapTotal - *info.swapFree : 0;
        out.has_swap = 1;
    }
    out.pressure_level = pressureLevel;
    return out;
}

} // namespace lunorvale::probes
