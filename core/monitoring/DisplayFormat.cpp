#include "core/monitoring/DisplayFormat.h"

#include "core/common/NumberText.h"

#include <cmath>
#include <limits>

namespace lunorvale::DisplayFormat {
namespace {

// Fixed decimals without trailing zeros, as byte counts are usually written ("1.5 MB", "2 GB").
QString trimmedFixed(double value, int decimals) {
    QString text = NumberText::fixed(value, decimals);
    if (text.contains(u'.')) {
        while (text.endsWith(u'0'))
            text.chop(1);
        if (text.endsWith(u'.'))
            text.chop(1);
    }
    return text;
}

} // namespace

QString cpu(std::optional<double> percent) {
    if (!percent)
        return QStringLiteral("采样中");
    return NumberText::fixed(*percent, 1) + u'%';
}

QString memory(uint64_t bytes) {
    const uint64_t capped =
        std::min<uint64_t>(bytes, static_cast<uint64_t>(std::numeric_limits<int64_t>::max()));
    // Nothing is "0 KB" as the larger counts are written; a few bytes are counted in 字节, as a Chinese
    // interface writes them (one byte is no exception: the word has no plural).
    if (capped == 0)
        return QStringLiteral("0 KB");
    if (capped < 1024)
        return QString::number(capped) + QStringLiteral(" 字节");

    static const char* const units[] = {"KB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(capped) / 1024.0;
    int unit = 0;
    // Promote when rounding at this unit's precision would already show 1024 or more.
    while (unit < 5) {
        const int decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
        const double scale = std::pow(10.0, decimals);
        if (std::round(value * scale) / scale < 1024.0)
            break;
        value /= 1024.0;
        ++unit;
    }
    const int decimals = unit == 0 ? 0 : (unit == 1 ? 1 : 2);
    return trimmedFixed(value, decimals) + u' ' + QString::fromLatin1(units[unit]);
}

QString duration(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0)
        return QStringLiteral("未知");
    if (seconds < 60)
        return QString::number(static_cast<int64_t>(seconds)) + QStringLiteral(" 秒");
    if (seconds < 3600)
        return QString::number(static_cast<int64_t>(seconds / 60)) + QStringLiteral(" 分钟");
    if (seconds < 172800)
        return NumberText::fixed(seconds / 3600, 1) + QStringLiteral(" 小时");
    return NumberText::fixed(seconds / 86400, 1) + QStringLiteral(" 天");
}

} // namespace lunorvale::DisplayFormat
