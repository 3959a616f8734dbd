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

uint64_t bigEndian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// libplist reads a dictionary key with a getter that aborts the process when the key holds a NUL byte,
// and offers no length-aware way to read keys. The binary format is the only one that can carry such a
// string (the XML reader refuses it), so every string object of a binary list is checked before parsing.
// False for a string holding NUL and for a structure too broken to check.
bool binaryStringsFreeOfNul(const QByteArray& data) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(data.constData());
    const uint64_t size = static_cast<uint64_t>(data.size());
    constexpr uint64_t headerBytes = 8;
    constexpr uint64_t trailerBytes = 32;
    if (size < headerBytes + trailerBytes)
        return false;
    const unsigned char* trailer = bytes + size - trailerBytes;
    const int offsetSize = trailer[6];
    const uint64_t objectCount = bigEndian(trailer + 8, 8);
    const uint64_t tableOffset = bigEndian(trailer + 24, 8);
    const uint64_t objectsEnd = size - trailerBytes;
    if (offsetSize < 1 || offsetSize > 8 || tableOffset < headerBytes || tableOffset > objectsEnd ||
        objectCount > (objectsEnd - tableOffset) / static_cast<uint64_t>(offsetSize))
        return false;
    for (uint64_t i = 0; i < objectCount; ++i) {
        const uint64_t offset =
            bigEndian(bytes + tableOffset + i * static_cast<uint64_t>(offsetSize), offsetSize);
        if (offset < headerBytes || offset >= tableOffset)
            return false;
        const unsigned char marker = bytes[offset];
        const int kind = marker >> 4;
        if (kind != 0x5 && kind != 0x6) // ASCII and UTF-16 strings
            continue;
        uint64_t count = marker & 0x0F;
        uint64_t position = offset + 1;
        if (count == 0x0F) {
            if (position >= tableOffset || (bytes[position] >> 4) != 0x1)
                return false;
            const int lengthBytes = 1 << (bytes[position] & 0x0F);
            if (lengthBytes > 8 || position + 1 + static_cast<uint64_t>(lengthBytes) > tableOffset)
                return false;
            count = bigEndian(bytes + position + 1, lengthBytes);
            position += 1 + static_cast<uint64_t>(lengthBytes);
        }
        const uint64_t unitSize = kind == 0x6 ? 2 : 1;
        if (count > (tableOffset - position) / unitSize)
            return false;
        for (uint64_t unit = 0; unit < count; ++unit) {
            const unsigned char* at = bytes + position + unit * unitSize;
            if (at[0] == 0 && (unitSize == 1 || at[1] == 0))
                return false;
        }
    }
    return true;
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
            // Keys with an inner NUL were refused before parsing; the getter returns a copy we own.
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
    if (plist_is_binary(data.constData(), static_cast<uint32_t>(data.size())) &&
        !binaryStringsFreeOfNul(data))
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
