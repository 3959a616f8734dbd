#include "platform/probes/ProcCgroupParse.h"

namespace lunorvale::probes {
namespace {

std::string_view lastComponent(std::string_view path) {
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
}

bool namesSystemd(std::string_view controllers) {
    while (!controllers.empty()) {
        const size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "name=systemd")
            return true;
        if (comma == std::string_view::npos)
            break;
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

} // namespace

std::string_view systemdUnit(std::string_view text) noexcept {
    std::string_view unified;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        if (end == std::string_view::npos)
            break;
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        // hierarchy-ID:controllers:path, where the path may hold colons itself.
        const size_t first = line.find(':');
        const size_t second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos)
            continue;
        const std::string_view hierarchy = line.substr(0, first);
        const std::string_view controllers = line.substr(first + 1, second - first - 1);
        const std::string_view path = line.substr(second + 1);
        if (namesSystemd(controllers)) {
            if (const std::string_view unit = lastComponent(path); !unit.empty())
                return unit;
        } else if (hierarchy == "0" && controllers.empty()) {
            unified = lastComponent(path);
        }
    }
    return unified;
}

} // namespace lunorvale::probes
