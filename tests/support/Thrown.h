#pragma once

#include <functional>
#include <optional>

namespace lunorvale::test {

// The error of type `Error` that `call` throws, or nothing when it returns normally. Other
// exceptions pass through and fail the test.
template <typename Error> std::optional<Error> thrownBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& error) {
        return error;
    }
    return std::nullopt;
}

} // namespace lunorvale::test
