#include "core/common/JsonWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
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
    const std::tuple<QString, QByteArray, bool> cases[] = {
        // input, text, slashes escaped
        {QStringLiteral("a\"b\\c/"), "\"a\\\"b\\\\c/\"", false},
        {QStringLiteral("/usr/bin"), "\"\\/usr\\/bin\"", true},
        {QStringLiteral("\b\f\n\r\t"), "\"\\b\\f\\n\\r\\t\"", false},
        {QString(QChar(0)) + QChar(0x1F) + QChar(0x7F), "\"\\u0000\\u001f\x7f\"", false},
        {QStringLiteral("岚栖") + QString::fromUcs4(U"\U0001F600"),
         "\"\xE5\xB2\x9A\xE6\xA0\x96\xF0\x9F\x98\x80\"", false},
        // A lone surrogate cannot be written as UTF-8; readers would reject the whole file.
        {QString(QChar(0xD800)) + u'x' + QChar(0xDC00), "\"\xEF\xBF\xBDx\xEF\xBF\xBD\"", false},
    };
    for (const auto& [input, expected, escapeSlashes] : cases) {
        EXPECT_EQ(compact(JsonValue(input), escapeSlashes), expected) << input.toStdString();
        // The size limits of stored texts count what a reader gets back.
        const QString readBack = QJsonDocument::fromJson("[" + expected + "]").array().at(0).toString();
        EXPECT_EQ(JsonWriter::utf8Size(input), readBack.toUtf8().size()) << input.toStdString();
    }
}

TEST(JsonWriter, WritesNumbersWithoutLocale) {
    EXPECT_EQ(compact(JsonValue(qint64{-43})), "-43");
    EXPECT_EQ(compact(JsonValue(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(compact(JsonValue(std::numeric_limits<uint64_t>::max())), "18446744073709551615");
    for (const auto& [value, text] :
         {std::pair{0.1, "0.1"}, {789012345.123, "789012345.123"}, {60.0, "60"}, {1e16, "1e+16"}})
        EXPECT_EQ(compact(JsonValue(value)), text);
    EXPECT_THROW(compact(JsonValue(NAN)), JsonWriteError);
    EXPECT_THROW(compact(JsonValue(INFINITY)), JsonWriteError);
}

TEST(JsonWriter, KeepsOrSortsKeysAndIndents) {
    JsonValue inner = JsonValue::object();
    inner.insert(QStringLiteral("b"), 2);
    inner.insert(QStringLiteral("a"), JsonValue::array());
    JsonValue root = JsonValue::object();
    root.insert(QStringLiteral("z"), std::move(inner));
    JsonValue list = JsonValue::array();
    for (JsonValue element : {JsonValue(true), JsonValue(), JsonValue::object()})
        list.append(std::move(element));
    root.insert(QStringLiteral("y"), std::move(list));
    EXPECT_EQ(compact(root), "{\"z\":{\"b\":2,\"a\":[]},\"y\":[true,null,{}]}");
    EXPECT_EQ(JsonWriter::write(root, JsonWriter::Options{2, false, true}),
              "{\n  \"y\" : [\n    true,\n    null,\n    {}\n  ],\n  \"z\" : {\n    \"a\" : [],\n    \"b\" : "
              "2\n  }\n}");
}
