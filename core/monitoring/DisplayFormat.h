#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace lunorvale::DisplayFormat {

// Shared wording of numbers for every screen. None of these depends on the user's locale.

// "12.3%"; "采样中" while no rate is known.
QString cpu(std::optional<double> percent);
// 1024-based byte counts: "0 KB", "512 字节", "12 KB", "1.5 MB", "2.34 GB".
QString memory(uint64_t bytes);
// "59 秒", "59 分钟", "2.0 小时", "2.0 天"; "未知" for a negative or non-finite value.
QString duration(double seconds);

} // namespace lunorvale::DisplayFormat
