#include "core/common/NumberText.h"

#include <array>
#include <charconv>

namespace lunorvale::NumberText {

QString fixed(double value, int digits) {
    // The largest double has 309 integer digits; the precisions used here are small.
    std::array<char, 400> buffer{};
    const auto [end, error] =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::fixed, digits);
    if (error != std::errc())
        return {};
    return QString::fromLatin1(buffer.data(), end - buffer.data());
}

} // namespace lunorvale::NumberText
