#include "core/monitoring/DisplayFormat.h"
#include "core/ai/DiagnosticSummary.h"
#include "core/common/NumberText.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/SystemMemory.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;
using DiagnosticSummary::detail::number;

namespace {

const double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::numeric_limits<double>::quiet_NaN();

// Every number text of the screens and of the AI summary, with what it must read. "%.1f" and "%.0f" round
// as printf does: to the decimal nearest the binary value, exact ties to the even digit.
std::vector<std::pair<QString, const char*>> numberTexts() {
    return {
        {DisplayFormat::cpu(12.34), "12.3%"},
        {DisplayFormat::cpu(0), "0.0%"},
        {DisplayFormat::cpu(1600), "1600.0%"},
        {DisplayFormat::cpu(0.25), "0.2%"},
        {DisplayFormat::cpu(0.75), "0.8%"},
        {DisplayFormat::cpu(0.35), "0.3%"}, // 0.34999999999999997 in binary
        {DisplayFormat::cpu(0.45), "0.5%"}, // 0.45000000000000001
        {DisplayFormat::cpu(-0.25), "-0.2%"},
        {DisplayFormat::cpu(99.95), "100.0%"},
        {DisplayFormat::cpu(std::nullopt), "采样中"},
        {DisplayFormat::duration(0), "0 秒"},
        {DisplayFormat::duration(-0.0), "0 秒"},
        {DisplayFormat::duration(59.9), "59 秒"},
        {DisplayFormat::duration(-1), "未知"},
        {DisplayFormat::duration(notANumber), "未知"},
        {DisplayFormat::duration(inf), "未知"},
        {DisplayFormat::duration(60), "1 分钟"},
        {DisplayFormat::duration(3599), "59 分钟"},
        {DisplayFormat::duration(3600), "1.0 小时"},
        {DisplayFormat::duration(4500), "1.2 小时"}, // 1.25
        {DisplayFormat::duration(9900), "2.8 小时"}, // 2.75
        {DisplayFormat::duration(172799), "48.0 小时"},
        {DisplayFormat::duration(172800), "2.0 天"},
        {DisplayFormat::duration(194400), "2.2 天"}, // 2.25
        {DisplayFormat::memory(0), "0 KB"},
        {DisplayFormat::memory(1), "1 字节"},
        {DisplayFormat::memory(1023), "1023 字节"},
        {DisplayFormat::memory(1024), "1 KB"},
        {DisplayFormat::memory(2560), "2 KB"},      // 2.5 KB, no decimals
        {DisplayFormat::memory(1310720), "1.2 MB"}, // 1.25 MB
        {DisplayFormat::memory(1536ull * 1024), "1.5 MB"},
        {DisplayFormat::memory(1024ull * 1024 * 1024), "1 GB"},
        {DisplayFormat::memory(2512555868ull), "2.34 GB"},
        // Byte counts beyond the signed range are shown as the largest signed count.
        {DisplayFormat::memory(std::numeric_limits<uint64_t>::max()), "8 EB"},
        {number(0.5, 0), "0"},
        {number(2.5, 0), "2"},
        {number(3.5, 0), "4"},
        {number(0.125, 2), "0.12"},
        {number(1234567.891, 1), "1234567.9"}, // no grouping
        {number(-0.5, 0), "未知"},
        {NumberText::fixed(1e300, 0).left(2), "10"},
    };
}

} // namespace

TEST(NumberText, EveryTextRoundsAsPrintfDoes) {
    for (const auto& [shown, expected] : numberTexts())
        EXPECT_EQ(shown, QString::fromUtf8(expected));
}

// A byte count is a number and a unit, whatever its size: no word of another language.
TEST(DisplayFormat, ByteCountsAreANumberAndAUnit) {
    const QRegularExpression shape(QStringLiteral("^[0-9]+(\\.[0-9]+)? (字节|KB|MB|GB|TB|PB|EB)$"));
    for (int shift = 0; shift < 64; ++shift) {
        const uint64_t power = uint64_t(1) << shift;
        for (const uint64_t bytes : {power - 1, power, power + power / 3}) {
            const QString text = DisplayFormat::memory(bytes);
            EXPECT_TRUE(shape.match(text).hasMatch()) << bytes << " " << text.toStdString();
        }
    }
}

// The user's numeric locale must never change what the screens show.
TEST(NumberText, IgnoresCommaDecimalLocale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray command =
        "localedef -i de_DE -f UTF-8 '" + QFile::encodeName(dir.path()) + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (std::system(command.constData()) != 0)
        GTEST_SKIP() << "localedef could not generate de_DE.UTF-8 (package locales missing?)";
    const QByteArray previousPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", QFile::encodeName(dir.path()));
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    const bool selected = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const auto texts = numberTexts();
    std::setlocale(LC_NUMERIC, previous.c_str());
    qputenv("LOCPATH", previousPath);

    ASSERT_TRUE(selected && std::string(probe) == "1,5") << "the locale did not take effect";
    for (const auto& [shown, expected] : texts)
        EXPECT_EQ(shown, QString::fromUtf8(expected));
}

TEST(MonitorSettings, ReadersClampAndFallBack) {
    const struct {
        MonitorSettings stored;
        double interval, threshold, duration;
    } rows[] = {
        {{}, 30, 90, 300},
        {{notANumber, inf, 10, false}, 30, 90, 30},
        {{2, 5, 99999, false}, 5, 10, 3600},
        {{500, 5000, -inf, false}, 120, 1600, 300},
        {{-inf, 45.5, 45.5, true}, 30, 45.5, 45.5},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.stored.safeInterval(), row.interval);
        EXPECT_EQ(row.stored.safeThreshold(), row.threshold);
        EXPECT_EQ(row.stored.safeDuration(), row.duration);
    }
}

TEST(MonitorSettings, DecodesOnlyCompleteObjects) {
    const MonitorSettings stored{45, 120, 600, true};
    EXPECT_EQ(MonitorSettings::fromJson(stored.toJson()), stored);
    EXPECT_EQ(stored.toJson().keys(),
              (QStringList{"cpuThreshold", "notificationsEnabled", "sampleInterval", "sustainedSeconds"}));
    // Out-of-range values decode as stored; only the readers clamp them.
    EXPECT_EQ(
        MonitorSettings::fromJsonText(
            R"({"sampleInterval":1,"cpuThreshold":99999,"sustainedSeconds":0,"notificationsEnabled":false})"),
        (MonitorSettings{1, 99999, 0, false}));

    const char* refused[] = {
        R"({"sampleInterval":30,"cpuThreshold":90,"sustainedSeconds":300})",
        R"({"sampleInterval":"30","cpuThreshold":90,"sustainedSeconds":300,"notificationsEnabled":false})",
        R"({"sampleInterval":30,"cpuThreshold":90,"sustainedSeconds":300,"notificationsEnabled":0})",
        R"({"sampleInterval":null,"cpuThreshold":90,"sustainedSeconds":300,"notificationsEnabled":false})",
        R"([30, 90, 300, false])",
        "not json",
        "",
    };
    for (const char* text : refused)
        EXPECT_FALSE(MonitorSettings::fromJsonText(text)) << text;
}

TEST(SystemMemoryPressure, MapsPlatformLevelsAndNames) {
    using enum SystemMemoryPressure;
    const std::pair<int, SystemMemoryPressure> levels[] = {
        {1, normal}, {2, warning}, {4, critical}, {0, unknown}, {3, unknown}, {5, unknown}, {-1, unknown}};
    for (const auto& [level, pressure] : levels) {
        EXPECT_EQ(MemoryPressure::fromDispatchValue(level), pressure) << level;
        EXPECT_EQ(MemoryPressure::fromRawValue(MemoryPressure::rawValue(pressure)), pressure);
    }
    EXPECT_FALSE(MemoryPressure::fromRawValue(QStringLiteral("Normal")));
    EXPECT_EQ(MemoryPressure::title(critical), QStringLiteral("很高"));
    EXPECT_TRUE(MemoryPressure::isElevated(warning) && !MemoryPressure::isElevated(unknown));
}
