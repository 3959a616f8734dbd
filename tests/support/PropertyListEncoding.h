#pragma once

// Property lists written with libplist from Qt values, the inverse of PropertyList::parse: for the tests'
// bundles and for the fuzz targets' round trips. A date keeps its milliseconds as the reader gives them.

#include <QDateTime>
#include <QVariant>
#include <cstdlib>
#include <limits>
#include <plist/plist.h>

namespace lunorvale::test {

inline plist_t toPlist(const QVariant& value) {
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
    case QMetaType::Int:
    case QMetaType::LongLong:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::ULongLong:
        return plist_new_uid(value.toULongLong());
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray:
        return plist_new_data(value.toByteArray().constData(), uint64_t(value.toByteArray().size()));
    case QMetaType::QDateTime: {
        if (!value.toDateTime().isValid()) // the reader's unknown date
            return plist_new_date(std::numeric_limits<int32_t>::min(), 0);
        const qint64 ms = QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC).msecsTo(value.toDateTime());
        return plist_new_date(int32_t(ms / 1000), int32_t(ms % 1000) * 1000);
    }
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

enum class PlistFormat { xml, binary };

inline QByteArray encodePlist(const QVariant& value, PlistFormat format) {
    plist_t root = toPlist(value);
    char* bytes = nullptr;
    uint32_t length = 0;
    format == PlistFormat::binary ? plist_to_bin(root, &bytes, &length) : plist_to_xml(root, &bytes, &length);
    QByteArray result(bytes, static_cast<qsizetype>(length));
    std::free(bytes);
    plist_free(root);
    return result;
}

} // namespace lunorvale::test
