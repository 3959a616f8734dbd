#pragma once

#include <chrono>
#include <functional>

namespace lunorvale::test {

// Runs the Qt event loop until `condition` holds; false when the timeout passed first.
bool spinUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace lunorvale::test
