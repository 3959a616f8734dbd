#include "platform/files/PropertyList.h"
#include "BundleFixture.h"

#include <QDateTime>

using namespace lunorvale;

TEST(PropertyList, XmlAndBinaryGiveTheSameValues) {
    const QVariantMap values{{"string", QString::fromUtf8("岚栖 / Lunorvale")},
                             {"integer", qint64(-42)},
                             {"real", 2.5},
                             {"yes", true},
                             {"data", QByteArray("\x00\x01\x02", 3)},
                             {"list", QVariantList{"a", qint64(1)}},
                             {"nested", QVariantMap{{"key", "value"}}}};
    for (const auto format : {fixture::Format::xml, fixture::Format::binary}) {
        const QVariant parsed = PropertyList::parse(fixture::encode(values, format));
        ASSERT_EQ(parsed.typeId(), QMetaType::QVariantMap);
        const QVariantMap map = parsed.toMap();
        EXPECT_EQ(map.value("string").toString(), QString::fromUtf8("岚栖 / Lunorvale"));
        EXPECT_EQ(map.value("integer").toLongLong(), -42);
        EXPECT_DOUBLE_EQ(map.value("real").toDouble(), 2.5);
        EXPECT_EQ(map.value("yes").typeId(), QMetaType::Bool);
        EXPECT_TRUE(map.value("yes").toBool());
        EXPECT_EQ(map.value("data").toByteArray(), QByteArray("\x00\x01\x02", 3));
        EXPECT_EQ(map.value("list").toList(), (QVariantList{"a", qint64(1)}));
        EXPECT_EQ(map.value("nested").toMap().value("key").toString(), "value");
    }
}

TEST(PropertyList, DatesCountFrom2001InUtc) {
    const QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>when</key><date>2024-03-01T12:00:00Z</date></dict></plist>\n";
    const QDateTime when = PropertyList::parse(xml).toMap().value("when").toDateTime();
    EXPECT_EQ(when, QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
}

TEST(PropertyList, RefusesWhatItCannotCarry) {
    // A UTF-16 string in binary form can hold U+0000; such strings are refused without ending the program.
    QByteArray nulValue =
        fixture::encode(QVariantMap{{"k", QString::fromUtf8("v\u00fcQ")}}, fixture::Format::binary);
    nulValue[nulValue.indexOf(QByteArray("\x00\xfc\x00Q", 4)) + 3] = '\0';
    QByteArray nulKey =
        fixture::encode(QVariantMap{{QString::fromUtf8("k\u00fcQ"), "v"}}, fixture::Format::binary);
    nulKey[nulKey.indexOf(QByteArray("\x00\xfc\x00Q", 4)) + 3] = '\0';
    QByteArray nulAscii = fixture::encode(QVariantMap{{"k", "valueQX"}}, fixture::Format::binary);
    nulAscii[nulAscii.indexOf("QX")] = '\0';
    QByteArray deep;
    for (int i = 0; i < 300; ++i)
        deep += "<array>";
    for (int i = 0; i < 300; ++i)
        deep += "</array>";
    const struct {
        const char* label;
        QByteArray data;
    } rows[] = {
        {"NUL in a string", nulValue},
        {"NUL in a key", nulKey},
        {"NUL in an ASCII string", nulAscii},
        {"empty", QByteArray()},
        {"not a property list", QByteArray("hello")},
        {"truncated binary", fixture::encode(QVariantMap{{"k", "v"}}, fixture::Format::binary).left(20)},
        {"NUL entity in XML", "<plist version=\"1.0\"><string>a&#0;b</string></plist>"},
        {"nesting too deep", "<plist version=\"1.0\">" + deep + "</plist>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_THROW(PropertyList::parse(row.data), PropertyListError);
    }
}
