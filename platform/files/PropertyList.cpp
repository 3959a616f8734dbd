#include "platform/files/PropertyList.h"

#include <QDateTime>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>
#include <plist/plist.h>

namespace lunorvale::PropertyList {
namespace {

// Deeper nesting than this is no application's Info.plist; refusing it keeps the conversion's
// recursion far from the stack's end.
constexpr int maximumDepth = 256;

struct PlistFree {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHandle = std::unique_ptr<void, PlistFree>;

struct CFree {
    void operator()(char* text) const { std::free(text); }
};

// libplist's XML reader parses reals with the C library, which follows LC_NUMERIC; Qt has set that
// to the user's locale, where the decimal separator may be a comma.
class CNumericLocale final {
public:
    CNumericLocale() {
        m_locale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
        if (m_locale != static_cast<locale_t>(nullptr))
            m_previous = uselocale(m_locale);
    }
    ~CNumericLocale() {
        if (m_locale != static_cast<locale_t>(nullptr)) {
            uselocale(m_previous);
            freelocale(m_locale);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t m_locale = static_cast<locale_t>(nullptr);
    locale_t m_previous = static_cast<locale_t>(nullptr);
};

// libplist's own string getter aborts the process on a string with an inner NUL byte, so strings are
// read through the pointer and length, and such strings are refused here.
QString stringValue(plist_t node) {
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr)
        throw PropertyListError();
    if (length > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max()) ||
        std::memchr(text, '\0', static_cast<size_t>(length)) != nullptr)
        throw PropertyListError();
    return QString::fromUtf8(text, static_cast<qsizetype>(length));
}

QVariant convert(plist_t node, int depth) {
    if (depth > maximumDepth)
        throw PropertyListError();
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return QVariant(value != 0);
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QVariant(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QVariant(value);
    }
    case PLIST_STRING:
        return QVariant(stringValue(node));
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (length > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max()))
            throw PropertyListError();
        return QVariant(QByteArray(bytes, static_cast<qsizetype>(length)));
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // Property-list dates count from 2001-01-01 00:00:00 UTC.
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        const qint64 milliseconds = static_cast<qint64>(seconds) * 1000 + microseconds / 1000;
        return QVariant(reference.addMSecs(milliseconds));
    }
    case PLIST_UID: {
        uint64_t value = 0;
        plist_get_uid_val(node, &value);
        return QVariant(static_cast<quint64>(value));
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t count = plist_array_get_size(node);
        list.reserve(static_cast<qsizetype>(count));
        for (uint32_t i = 0; i < count; ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (item == nullptr)
                throw PropertyListError();
            list.append(convert(item, depth + 1));
        }
        return QVariant(list);
    }
    case PLIST_DICT: {
        QVariantMap map;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        if (iterator == nullptr)
            throw PropertyListError();
        const std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
        for (;;) {
            plist_t value = nullptr;
            plist_dict_next_item(node, iterator, nullptr, &value);
            if (value == nullptr)
                break;
            // The key node is a string node of its own; both readers refuse keys with an inner NUL,
            // and its getter returns a copy we own.
            plist_t keyNode = plist_dict_item_get_key(value);
            if (keyNode == nullptr || plist_get_node_type(keyNode) != PLIST_KEY)
                throw PropertyListError();
            char* rawKey = nullptr;
            plist_get_key_val(keyNode, &rawKey);
            const std::unique_ptr<char, CFree> keyOwner(rawKey);
            if (rawKey == nullptr)
                throw PropertyListError();
            map.insert(QString::fromUtf8(rawKey), convert(value, depth + 1));
        }
        return QVariant(map);
    }
    case PLIST_KEY:
    case PLIST_NONE:
        break;
    }
    throw PropertyListError();
}

} // namespace

QVariant parse(const QByteArray& data) {
    if (data.isEmpty() || data.size() > std::numeric_limits<int32_t>::max())
        throw PropertyListError();
    plist_t root = nullptr;
    {
        const CNumericLocale numeric;
        plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    }
    if (root == nullptr)
        throw PropertyListError();
    const PlistHandle owner(root);
    return convert(root, 0);
}

} // namespace lunorvale::PropertyList
