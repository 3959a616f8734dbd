#pragma once

#include <cstdint>

namespace lunorvale::ByteOrder {

inline uint32_t u32(const char* bytes, bool bigEndian) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return bigEndian ? (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]))
                     : (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | uint32_t(b[0]));
}

inline uint64_t u64(const char* bytes, bool bigEndian) {
    const uint64_t first = u32(bytes, bigEndian);
    const uint64_t second = u32(bytes + 4, bigEndian);
    return bigEndian ? first << 32 | second : second << 32 | first;
}

inline uint32_t big32(const char* bytes) {
    return u32(bytes, true);
}

inline uint64_t big64(const char* bytes) {
    return u64(bytes, true);
}

} // namespace lunorvale::ByteOrder
