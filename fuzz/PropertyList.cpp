// Property lists: what parses holds no more values than the limit and reads the same after being
// written out again as a binary list; an XML list reads the same with a UTF-8 byte-order mark and in
// UTF-16; anything else fails as a PropertyListError.

#include "platform/files/PropertyList.h"
#include "fuzz/support/Fuzz.h"

#include <QDateTime>
#include <QStringEncoder>
#include <cmath>
#include <cstdlib>
#include <plist/plist.h>

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

const QDateTime referenceDate(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

plist_t toPlist(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), toPlist(it.value()));
        return dict;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList())
            plist_array_append_item(array, toPlist(item));
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::LongLong:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::ULongLong:
        return plist_new_uid(value.toULongLong());
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray:
        return plist_new_data(value.toByteArray().constData(), uint64_t(value.toByteArray().size()));
    case QMetaType::QDateTime: {
        const qint64 ms = referenceDate.msecsTo(value.toDateTime());
        return plist_new_date(int32_t(ms / 1000), int32_t(ms % 1000) * 1000);
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

QByteArray binary(const QVariant& value) {
    plist_t root = toPlist(value);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bytes, &length);
    QByteArray result(bytes, qsizetype(length));
    std::free(bytes);
    plist_free(root);
    return result;
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
        return std::abs(a.toDateTime().msecsTo(b.toDateTime())) <= 2000;
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
    plist_t root = toPlist(info);
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    const QByteArray text(xml, qsizetype(length));
    std::free(xml);
    plist_free(root);
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
