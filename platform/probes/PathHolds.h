#pragma once

#include <string_view>

namespace lunorvale::probes {

// Whether `path` is `folder` itself or lies below it: "/a/X.app" holds "/a/X.app/b", not "/a/X.app2".
inline bool pathHolds(std::string_view folder, std::string_view path) {
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

} // namespace lunorvale::probes
