// Property lists: what parses holds no more values than the limit and reads the same after being
// written out again as a binary list; an XML list reads the same with a UTF-8 byte-order mark and in
// UTF-16; anything else fails as a PropertyListError.

#include "platform/files/PropertyList.h"
#include "fuzz/support/Fuzz.h"
#include "tests/support/PropertyListEncoding.h"

#include <QDateTime>
#include <QStringEncoder>
#include <cmath>

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace {

std::optional<QVariant> parsed(const QByteArray& data) {
    try {
        return PropertyList::parse(data);
    } catch (const PropertyListError&) {
        return std::nullopt;
    }
}

uint64_t count(const QVariant& value) {
    uint64_t total = 1;
    if (value.typeId() == QMetaType::QVariantList) {
        for (const QVariant& item : value.toList())
            total += count(item);
    } else if (value.typeId() == QMetaType::QVariantMap) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            total += 1 + count(it.value());
    }
    return total;
}

QByteArray binary(const QVariant& value) {
    return test::encodePlist(value, test::PlistFormat::binary);
}

// Equal, with NaN equal to itself and dates within the two seconds libplist 2.2 may lose: it reports a
// date as truncated seconds and the fraction's size, which loses a millisecond on the way and, within a
// second before 2001, the fraction's sign.
bool same(const QVariant& a, const QVariant& b) {
    if (a.typeId() != b.typeId())
        return false;
    switch (a.typeId()) {
    case QMetaType::QVariantList: {
        const QVariantList x = a.toList(), y = b.toList();
        return x.size() == y.size() && std::equal(x.cbegin(), x.cend(), y.cbegin(), same);
    }
    case QMetaType::QVariantMap: {
        const QVariantMap x = a.toMap(), y = b.toMap();
        return x.keys() == y.keys() && std::equal(x.cbegin(), x.cend(), y.cbegin(), same);
    }
    case QMetaType::Double:
        return a.toDouble() == b.toDouble() || (std::isnan(a.toDouble()) && std::isnan(b.toDouble()));
    case QMetaType::QDateTime:
        return a.toDateTime().isValid() == b.toDateTime().isValid() &&
               std::abs(a.toDateTime().msecsTo(b.toDateTime())) <= 2000;
    default:
        return a == b;
    }
}

bool sameOutcome(const std::optional<QVariant>& a, const std::optional<QVariant>& b) {
    return a.has_value() == b.has_value() && (!a || same(*a, *b));
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    const QVariantMap info{{"CFBundleIdentifier", "org.example.notes"},
                           {"CFBundlePackageType", "APPL"},
                           {"CFBundleDocumentTypes",
                            QVariantList{QVariantMap{{"CFBundleTypeExtensions", QVariantList{"txt", "md"}}}}},
                           {"LSMinimumSystemVersion", qint64(-13)},
                           {"Ratio", 2.5},
                           {"Flag", true},
                           {"Blob", QByteArray("\0\1", 2)}};
    const QByteArray text = test::encodePlist(info, test::PlistFormat::xml);
    return {text, binary(info),
            "<plist><dict><key>when</key><date>2024-03-01T12:00:00Z</date><key>n</key><real>1e3</real>"
            "<key>s</key><string>a&amp;b&#x4E2D;</string></dict></plist>"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const QByteArray data(reinterpret_cast<const char*>(bytes), qsizetype(size));
    const std::optional<QVariant> value = parsed(data);
    if (value) {
        check(count(*value) <= PropertyList::maximumValues, "no more values than the limit");
        const std::optional<QVariant> again = parsed(binary(*value));
        check(again && same(*again, *value), "a value written as a binary list reads back the same");
    }
    // The byte-order marks, on text that has none and is valid UTF-8.
    const QString text = QString::fromUtf8(data);
    if (data.startsWith("bplist") || data.startsWith("\xEF\xBB\xBF") || data.startsWith("\xFF\xFE") ||
        data.startsWith("\xFE\xFF") || text.toUtf8() != data)
        return 0;
    check(sameOutcome(parsed("\xEF\xBB\xBF" + data), value), "a UTF-8 byte-order mark changes nothing");
    QStringEncoder encoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom);
    check(sameOutcome(parsed(encoder.encode(text)), value), "UTF-16 text reads as its UTF-8 form");
    return 0;
}
