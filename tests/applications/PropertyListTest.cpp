#include "platform/files/PropertyList.h"
#include "BundleFixture.h"

#include <QDateTime>
#include <QThread>
#include <QtEndian>

using namespace lunorvale;

namespace {

QByteArray bigEndian(quint64 value, int bytes) {
    value = qToBigEndian(value);
    return QByteArray(reinterpret_cast<const char*>(&value) + 8 - bytes, bytes);
}

// Binary objects with four-byte counts and references, and a list of them whose top object is the first.
QByteArray array(const QList<quint32>& references) {
    QByteArray result = "\xAF\x12" + bigEndian(references.size(), 4);
    for (const quint32 reference : references)
        result += bigEndian(reference, 4);
    return result;
}
QByteArray ascii(const QByteArray& text) {
    return "\x5F\x12" + bigEndian(text.size(), 4) + text;
}
QByteArray binaryList(const QList<QByteArray>& objects) {
    QByteArray result = "bplist00";
    QByteArray table;
    for (const QByteArray& object : objects) {
        table += bigEndian(result.size(), 4);
        result += object;
    }
    return result + table + QByteArray(6, '\0') + "\x04\x04" + bigEndian(objects.size(), 8) +
           bigEndian(0, 8) + bigEndian(result.size(), 8);
}

// Each of `levels` arrays refers `width` times to the next; the last refers to a string.
QByteArray references(int levels, int width) {
    QList<QByteArray> objects;
    for (int level = 0; level < levels; ++level)
        objects << array(QList<quint32>(width, quint32(level + 1)));
    return binaryList(objects << ascii("x"));
}

} // namespace

TEST(PropertyList, XmlAndBinaryGiveTheSameValues) {
    const QVariantMap values{{"string", "岚栖 / Lunorvale"},
                             {"integer", qint64(-42)},
                             {"real", 2.5},
                             {"yes", true},
                             {"data", QByteArray("\0\1", 2)},
                             {"list", QVariantList{"a", qint64(1)}},
                             {"nested", QVariantMap{{"key", "value"}}}};
    for (const auto format : {fixture::Format::xml, fixture::Format::binary})
        EXPECT_EQ(PropertyList::parse(fixture::encode(values, format)), values);
    EXPECT_EQ(PropertyList::parse(references(3, 2)).toList().size(), 2); // shared objects are fine
    const QVariantMap early{{"d", QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 250), Qt::UTC)}};
    EXPECT_EQ(PropertyList::parse(fixture::encode(early, fixture::Format::binary)), early);
    const QByteArray dated = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                             "<key>when</key><date>2024-03-01T12:00:00Z</date></dict></plist>\n";
    EXPECT_EQ(PropertyList::parse(dated).toMap().value("when").toDateTime(),
              QDateTime(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC));
}

TEST(PropertyList, RefusesWhatItCannotCarryWithoutEndingTheProgram) {
    // A UTF-16 string in binary form can hold U+0000; the reader aborts on such a key.
    const auto withNul = [](const QVariantMap& values, const QByteArray& marker) {
        QByteArray bytes = fixture::encode(values, fixture::Format::binary);
        bytes[bytes.indexOf(marker) + marker.size() - 1] = '\0';
        return bytes;
    };
    const QByteArray utf16("\x00\xfc\x00Q", 4);
    static const char rawNulKey[] = "<plist version=\"1.0\"><dict><key>a\0b</key><true/></dict></plist>";
    const QByteArray deepBinary = [] {
        QList<QByteArray> objects;
        for (quint32 i = 1; i < 5000; ++i)
            objects << array({i});
        return binaryList(objects << ascii("x"));
    }();
    const struct {
        const char* label;
        QByteArray data;
    } rows[] = {
        {"NUL in a string", withNul({{"k", "vüQ"}}, utf16)},
        {"NUL in a key", withNul({{"küQ", "v"}}, utf16)},
        {"NUL in an ASCII string", withNul({{"k", "valueQ"}}, "Q")},
        {"NUL entity in XML", "<plist version=\"1.0\"><string>a&#0;b</string></plist>"},
        {"raw NUL in an XML key", QByteArray(rawNulKey, sizeof rawNulKey - 1)},
        {"truncated binary", fixture::encode(QVariantMap{{"k", "v"}}, fixture::Format::binary).left(20)},
        // Deep enough to overflow the small stack below inside the reader itself.
        {"deep binary nesting", deepBinary},
        {"deep XML nesting", "<plist>" + QByteArray("<array>").repeated(20000) +
                                 QByteArray("</array>").repeated(20000) + "</plist>"},
        {"text of many entity references",
         "<plist><string>" + QByteArray("&amp;").repeated(200000) + "</string></plist>"},
        // A few hundred bytes that the reader would expand into more than a million copies, or into
        // 137,257: far more values than any Info.plist holds, and a third of a second of the reader's work.
        {"references to references", references(5, 16)},
        {"fewer references to references", references(6, 7)},
        {"more XML values than any Info.plist holds",
         "<plist><array>" + QByteArray("<true/>").repeated(40000) + "</array></plist>"},
        {"UTF-16 cut in the middle of a character", "\xFF\xFE<\0p\0l"},
        {"UTF-16 with an unpaired surrogate", QByteArray("\xFE\xFF\xD8\x00\0<", 6)},
        {"an array whose reading takes the square of its length",
         binaryList({array(QList<quint32>(60000, 1)), "\x09"})},
        {"one large string referred to 100 times",
         binaryList({array(QList<quint32>(100, 1)), ascii(QByteArray(200000, 'a'))})},
        // 1.1 million characters from 3 KB.
        {"a string of 1100 characters referred to 1000 times",
         binaryList({array(QList<quint32>(1000, 1)), ascii(QByteArray(1100, 'a'))})},
        // What binary form refuses, XML refuses too: a list reads alike in either.
        {"an XML array longer than a binary one may be",
         "<plist><array>" + QByteArray("<true/>").repeated(8200) + "</array></plist>"},
        {"XML text of 1.1 million characters",
         "<plist><string>" + QByteArray(1100000, 'a') + "</string></plist>"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        bool refused = false;
        std::unique_ptr<QThread> thread(QThread::create([&] {
            try {
                PropertyList::parse(row.data);
            } catch (const PropertyListError&) {
                refused = true;
            }
        }));
        thread->setStackSize(256 * 1024);
        thread->start();
        thread->wait();
        EXPECT_TRUE(refused);
    }
}

// A list read once reads again after it is written out as a binary list, whichever text encoding either
// form uses: the budget counts characters, and one-byte text becomes two-byte text when written again
// (bytes that are no UTF-8 become U+FFFD); a text that begins with U+FEFF keeps it.
TEST(PropertyList, AListReadsAgainAfterBeingWrittenOut) {
    const struct {
        const char* name;
        QByteArray list;
        QVariant value;
    } rows[] = {
        {"one-byte text shared a hundred times",
         binaryList({array(QList<quint32>(100, 1)), ascii(QByteArray(10000, '\xE9'))}),
         QVariantList(100, QString(10000, QChar(0xFFFD)))},
        {"text that begins with U+FEFF",
         "<plist><dict><key>\xEF\xBB\xBFk</key><string>\xEF\xBB\xBF\xEF\xBB\xBF</string></dict></plist>",
         QVariantMap{{QStringLiteral("\uFEFFk"), QStringLiteral("\uFEFF\uFEFF")}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const QVariant value = PropertyList::parse(row.list);
        EXPECT_EQ(value, row.value);
        EXPECT_EQ(PropertyList::parse(fixture::encode(value, fixture::Format::binary)), row.value);
    }
}
