#include "core/monitoring/DisplayFormat.h"
#include "core/ai/DiagnosticSummary.h"
#include "core/common/NumberText.h"
#include "core/monitoring/MonitorSettings.h"
#include "core/monitoring/SystemMemory.h"

#include <QTemporaryDir>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;

namespace {
const double inf = std::numeric_limits<double>::infinity();
const double notANumber = std::numeric_limits<double>::quiet_NaN();
} // namespace

// Every "%.1f"/"%.0f" text rounds as printf does: to the decimal nearest the binary value, exact ties to
// the even digit. Values of the form k/8 are exact in binary, so the expected digits can be worked out
// with integers: k/8 with one decimal is 5k/4 tenths.
TEST(NumberText, RoundsHalvesAsPrintfDoes) {
    const std::pair<QString, const char*> rows[] = {
        {DisplayFormat::cpu(0.25), "0.2%"},
        {DisplayFormat::cpu(0.75), "0.8%"},
        {DisplayFormat::cpu(0.35), "0.3%"}, // 0.34999999999999997 in binary
        {DisplayFormat::cpu(0.45), "0.5%"}, // 0.45000000000000001
        {DisplayFormat::cpu(-0.25), "-0.2%"},
        {DisplayFormat::cpu(99.95), "100.0%"},
        {DisplayFormat::cpu(12.34), "12.3%"},
        {DisplayFormat::cpu(std::nullopt), "采样中"},
        {DisplayFormat::duration(4500), "1.2 小时"}, // 1.25
        {DisplayFormat::duration(9900), "2.8 小时"}, // 2.75
        {DisplayFormat::duration(194400), "2.2 天"}, // 2.25
        {DisplayFormat::memory(2560), "2 KB"},       // 2.5 KB, no decimals
        {DisplayFormat::memory(1310720), "1.2 MB"},  // 1.25 MB
        {DiagnosticSummary::detail::number(0.5, 0), "0"},
        {DiagnosticSummary::detail::number(2.5, 0), "2"},
        {DiagnosticSummary::detail::number(3.5, 0), "4"},
        {DiagnosticSummary::detail::number(0.125, 2), "0.12"},
        {DiagnosticSummary::detail::number(1234567.891, 1), "1234567.9"}, // no grouping
        {DiagnosticSummary::detail::number(-0.5, 0), "未知"},
        {NumberText::fixed(1e300, 0).left(2), "10"},
    };
    for (const auto& [shown, expected] : rows)
        EXPECT_EQ(shown, QString::fromUtf8(expected));

    for (int k = -800; k <= 8000; ++k) {
        const int tenths = 5 * k / 4 - (5 * k % 4 < 0 ? 1 : 0); // floor of 5k/4
        const int remainder = 5 * k - 4 * tenths;               // 0..3 quarters of a tenth
        const int rounded = tenths + (remainder > 2 || (remainder == 2 && tenths % 2 != 0) ? 1 : 0);
        const int magnitude = rounded < 0 ? -rounded : rounded;
        const QString expected = QStringLiteral("%1%2.%3")
                                     .arg(k < 0 ? QStringLiteral("-") : QString())
                                     .arg(magnitude / 10)
                                     .arg(magnitude % 10);
        ASSERT_EQ(NumberText::fixed(k / 8.0, 1), expected) << k;
    }
}

TEST(DisplayFormat, CpuDurationAndMemoryWording) {
    EXPECT_EQ(DisplayFormat::cpu(0), QStringLiteral("0.0%"));
    EXPECT_EQ(DisplayFormat::cpu(1600), QStringLiteral("1600.0%"));

    const std::pair<double, const char*> durations[] = {
        {0, "0 秒"},        {59.9, "59 秒"},       {-1, "未知"},       {notANumber, "未知"},
        {inf, "未知"},      {60, "1 分钟"},        {3599, "59 分钟"},  {3600, "1.0 小时"},
        {7200, "2.0 小时"}, {172799, "48.0 小时"}, {172800, "2.0 天"}, {-0.0, "0 秒"},
    };
    for (const auto& [seconds, text] : durations)
        EXPECT_EQ(DisplayFormat::duration(seconds), QString::fromUtf8(text)) << seconds;

    EXPECT_EQ(DisplayFormat::memory(0), QStringLiteral("Zero KB"));
    EXPECT_EQ(DisplayFormat::memory(1), QStringLiteral("1 byte"));
    EXPECT_EQ(DisplayFormat::memory(1023), QStringLiteral("1023 bytes"));
    EXPECT_EQ(DisplayFormat::memory(1024), QStringLiteral("1 KB"));
    EXPECT_EQ(DisplayFormat::memory(1536ull * 1024), QStringLiteral("1.5 MB"));
    EXPECT_EQ(DisplayFormat::memory(1024ull * 1024 * 1024), QStringLiteral("1 GB"));
    EXPECT_EQ(DisplayFormat::memory(2512555868ull), QStringLiteral("2.34 GB"));
    // Byte counts beyond the signed range are shown as the largest signed count.
    EXPECT_EQ(DisplayFormat::memory(std::numeric_limits<uint64_t>::max()),
              DisplayFormat::memory(static_cast<uint64_t>(std::numeric_limits<int64_t>::max())));
}

// The user's numeric locale must never change what the screens show.
TEST(DisplayFormat, IgnoresCommaDecimalLocale) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray target = (dir.path() + QStringLiteral("/de_DE.UTF-8")).toLocal8Bit();
    const QByteArray command = "localedef -i de_DE -f UTF-8 '" + target + "' >/dev/null 2>&1";
    if (std::system(command.constData()) != 0)
        GTEST_SKIP() << "localedef could not generate de_DE.UTF-8 (package locales missing?)";
    const QByteArray previousPath = qgetenv("LOCPATH");
    qputenv("LOCPATH", dir.path().toLocal8Bit());
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        qputenv("LOCPATH", previousPath);
        GTEST_SKIP() << "the generated de_DE.UTF-8 locale could not be selected";
    }
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 1.5);
    const std::string cLibrary = probe;

    const QString cpu = DisplayFormat::cpu(12.34);
    const QString hours = DisplayFormat::duration(7200);
    const QString days = DisplayFormat::duration(172800);
    const QString memory = DisplayFormat::memory(1536ull * 1024);
    const auto settings = MonitorSettings::fromJsonText(R"({"sampleInterval": 12.5, "cpuThreshold": 90.5,
        "sustainedSeconds": 300, "notificationsEnabled": true})");

    std::setlocale(LC_NUMERIC, previous.c_str());
    qputenv("LOCPATH", previousPath);

    EXPECT_EQ(cLibrary, "1,5") << "the locale did not take effect, so this test proves nothing";
    EXPECT_EQ(cpu, QStringLiteral("12.3%"));
    EXPECT_EQ(hours, QStringLiteral("2.0 小时"));
    EXPECT_EQ(days, QStringLiteral("2.0 天"));
    EXPECT_EQ(memory, QStringLiteral("1.5 MB"));
    ASSERT_TRUE(settings);
    EXPECT_EQ(settings->sampleInterval, 12.5);
    EXPECT_EQ(settings->cpuThreshold, 90.5);
}

TEST(MonitorSettings, ClampsAndFallsBackWithoutRewritingStoredValues) {
    MonitorSettings s;
    EXPECT_EQ(s.safeInterval(), 30);
    EXPECT_EQ(s.safeThreshold(), 90);
    EXPECT_EQ(s.safeDuration(), 300);
    EXPECT_FALSE(s.notificationsEnabled);

    s.sampleInterval = notANumber;
    EXPECT_EQ(s.safeInterval(), 30);
    EXPECT_TRUE(std::isnan(s.sampleInterval));
    s.sampleInterval = 2;
    EXPECT_EQ(s.safeInterval(), 5);
    s.sampleInterval = 500;
    EXPECT_EQ(s.safeInterval(), 120);
    s.sampleInterval = -inf;
    EXPECT_EQ(s.safeInterval(), 30);
    s.cpuThreshold = inf;
    EXPECT_EQ(s.safeThreshold(), 90);
    s.cpuThreshold = 5;
    EXPECT_EQ(s.safeThreshold(), 10);
    s.cpuThreshold = 5000;
    EXPECT_EQ(s.safeThreshold(), 1600);
    s.sustainedSeconds = 10;
    EXPECT_EQ(s.safeDuration(), 30);
    s.sustainedSeconds = 99999;
    EXPECT_EQ(s.safeDuration(), 3600);
}

TEST(MonitorSettings, DecodesOnlyCompleteObjects) {
    const MonitorSettings stored{45, 120, 600, true};
    const auto roundTrip = MonitorSettings::fromJson(stored.toJson());
    ASSERT_TRUE(roundTrip);
    EXPECT_EQ(*roundTrip, stored);
    EXPECT_EQ(stored.toJson().keys(),
              (QStringList{"cpuThreshold", "notificationsEnabled", "sampleInterval", "sustainedSeconds"}));

    // Out-of-range values decode as stored; only the readers clamp them.
    const auto wild = MonitorSettings::fromJsonText(
        R"({"sampleInterval":1,"cpuThreshold":99999,"sustainedSeconds":0,"notificationsEnabled":false})");
    ASSERT_TRUE(wild);
    EXPECT_EQ(wild->sampleInterval, 1);
    EXPECT_EQ(wild->safeInterval(), 5);

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
    EXPECT_EQ(MemoryPressure::fromDispatchValue(1), SystemMemoryPressure::normal);
    EXPECT_EQ(MemoryPressure::fromDispatchValue(2), SystemMemoryPressure::warning);
    EXPECT_EQ(MemoryPressure::fromDispatchValue(4), SystemMemoryPressure::critical);
    for (int level : {0, 3, 5, 8, -1})
        EXPECT_EQ(MemoryPressure::fromDispatchValue(level), SystemMemoryPressure::unknown) << level;
    for (auto p : {SystemMemoryPressure::unknown, SystemMemoryPressure::normal, SystemMemoryPressure::warning,
                   SystemMemoryPressure::critical})
        EXPECT_EQ(MemoryPressure::fromRawValue(MemoryPressure::rawValue(p)), p);
    EXPECT_FALSE(MemoryPressure::fromRawValue(QStringLiteral("Normal")));
    EXPECT_EQ(MemoryPressure::title(SystemMemoryPressure::critical), QStringLiteral("很高"));
    EXPECT_TRUE(MemoryPressure::isElevated(SystemMemoryPressure::warning));
    EXPECT_FALSE(MemoryPressure::isElevated(SystemMemoryPressure::unknown));
}
