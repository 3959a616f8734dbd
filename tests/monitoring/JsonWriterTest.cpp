#include "core/common/JsonWriter.h"
#include "core/common/StoredDates.h"

#include <charconv>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace lunorvale;

namespace {
QByteArray compact(const JsonValue& value, bool escapeSlashes = false) {
    return JsonWriter::write(value, JsonWriter::Options{0, escapeSlashes, false});
}
} // namespace

TEST(JsonWriter, EscapesStrings) {
    const struct {
        QString input;
        QByteArray expected;
        bool escapeSlashes;
    } cases[] = {
        {QStringLiteral("a\"b\\c/"), "\"a\\\"b\\\\c/\"", false},
        {QStringLiteral("/usr/bin"), "\"\\/usr\\/bin\"", true},
        {QStringLiteral("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"", false},
        {QString(QChar(0)) + QChar(0x1F) + QChar(0x7F), "\"\\u0000\\u001f\x7f\"", false},
        {QStringLiteral("岚栖") + QString::fromUcs4(U"\U0001F600"),
         "\"\xE5\xB2\x9A\xE6\xA0\x96\xF0\x9F\x98\x80\"", false},
        // A lone surrogate cannot be written as UTF-8; readers would reject the whole file.
        {QString(QChar(0xD800)) + u'x' + QChar(0xDC00), "\"\xEF\xBF\xBDx\xEF\xBF\xBD\"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(compact(JsonValue(c.input), c.escapeSlashes), c.expected) << c.input.toStdString();
}

TEST(JsonWriter, WritesNumbersWithoutLocaleAndRoundTripping) {
    EXPECT_EQ(compact(JsonValue(qint64{-43})), "-43");
    EXPECT_EQ(compact(JsonValue(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(compact(JsonValue(std::numeric_limits<uint64_t>::max())), "18446744073709551615");
    for (const auto& [value, text] :
         {std::pair{0.1, "0.1"}, {789012345.123, "789012345.123"}, {60.0, "60"}, {1e16, "1e+16"}})
        EXPECT_EQ(compact(JsonValue(value)), text);
    for (double value : {0.1 + 0.2, 1.0 / 3.0, 5e-324, 1.7976931348623157e308, -2.5e-7}) {
        const QByteArray text = compact(JsonValue(value));
        double back = 0;
        std::from_chars(text.constData(), text.constData() + text.size(), back);
        EXPECT_EQ(back, value) << text.constData();
    }
    EXPECT_THROW(compact(JsonValue(NAN)), JsonWriteError);
    EXPECT_THROW(compact(JsonValue(INFINITY)), JsonWriteError);
}

TEST(JsonWriter, KeepsOrSortsKeysAndIndents) {
    JsonValue inner = JsonValue::object();
    inner.insert(QStringLiteral("b"), 2);
    inner.insert(QStringLiteral("a"), JsonValue::array());
    JsonValue root = JsonValue::object();
    root.insert(QStringLiteral("z"), std::move(inner));
    root.insert(QStringLiteral("y"), JsonValue::array({JsonValue(true), JsonValue(), JsonValue::object()}));
    EXPECT_EQ(compact(root), "{\"z\":{\"b\":2,\"a\":[]},\"y\":[true,null,{}]}");
    EXPECT_EQ(JsonWriter::write(root, JsonWriter::Options{2, false, true}),
              "{\n  \"y\" : [\n    true,\n    null,\n    {}\n  ],\n  \"z\" : {\n    \"a\" : [],\n    \"b\" : "
              "2\n  }\n}");
}

TEST(StoredDates, ConvertsReferenceSecondsAndIso8601) {
    const QDateTime reference = QDateTime::fromMSecsSinceEpoch(978307200000, Qt::UTC);
    EXPECT_EQ(StoredDates::secondsSinceReferenceDate(reference.addMSecs(1500)), 1.5);
    EXPECT_EQ(StoredDates::fromSecondsSinceReferenceDate(-0.25), reference.addMSecs(-250));
    EXPECT_FALSE(StoredDates::fromSecondsSinceReferenceDate(NAN));
    EXPECT_FALSE(StoredDates::fromSecondsSinceReferenceDate(1e300));
    EXPECT_EQ(StoredDates::iso8601(QDateTime::fromMSecsSinceEpoch(1769846709999, Qt::UTC)),
              QStringLiteral("2026-01-31T08:05:09Z"));
    EXPECT_EQ(StoredDates::iso8601(QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC)),
              QStringLiteral("1969-12-31T23:59:59Z"));
}
