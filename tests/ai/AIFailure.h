#pragma once

#include "core/ai/AIServiceError.h"
#include "support/Thrown.h"

#include <functional>
#include <optional>

namespace lunorvale::test {

// The AI service error that `call` throws, or nothing when it returns normally.
inline std::optional<AIServiceError> failureOf(const std::function<void()>& call) {
    return thrownBy<AIServiceError>(call);
}

} // namespace lunorvale::test
