#include "platform/files/PropertyList.h"

#include <QDateTime>
#include <QStringDecoder>
#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <memory>
#include <plist/plist.h>

namespace lunorvale::PropertyList {
namespace {

// Deeper nesting than this is no application's Info.plist; refusing it before the reader sees it keeps
// the reader's recursion, and the conversion's, far from the stack's end.
constexpr int maximumDepth = 256;

// What a list may expand to, whichever form it was written in (see BinaryListCheck): characters of
// text and bytes of data, and the sum of the squares of every array's length.
constexpr uint64_t maximumPayload = 1 << 20;
constexpr uint64_t maximumArrayWork = uint64_t(1) << 26;

// The expansion counted while values are built: a binary list was held to these budgets before the
// reader saw it, an XML list is held to them here, so that a list reads alike in either form.
struct Expansion {
    uint64_t payload = 0;
    uint64_t arrayWork = 0;

    void text(uint64_t characters) {
        payload += characters;
        if (payload > maximumPayload)
            throw PropertyListError();
    }
    void array(uint64_t elements) {
        arrayWork += elements * elements;
        if (arrayWork > maximumArrayWork)
            throw PropertyListError();
    }
};

// maximumValues is counted before the reader builds anything: it spends about a microsecond and 300 bytes
// on each value, so a list of a hundred bytes whose shared references expand to 2^18 values costs a third
// of a second and 80 MB, and a scan meets up to 1000 lists.

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

// The text of a string or key as it stands: QString::fromUtf8 would drop a leading U+FEFF, taking it for
// a byte-order mark, and the text would no longer be what the list holds.
QString utf8Text(const char* text, qsizetype length) {
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(text, length));
}

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
    return utf8Text(text, static_cast<qsizetype>(length));
}

uint64_t bigEndian(const unsigned char* bytes, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// libplist's binary reader expands every reference into a copy of the object referred to, recurses once
// per nesting level, takes time growing with the square of an array's length, and reads dictionary keys
// with a getter that aborts the process on a key holding NUL (there is no length-aware way to read keys). A
// few hundred bytes of references to references thus grow into more nodes than memory holds, and deep nesting
// overflows the stack. So a binary list is first walked here exactly as the reader will expand it, within
// budgets, and refused when it would exceed them or holds a string with NUL.
class BinaryListCheck final {
public:
    explicit BinaryListCheck(const QByteArray& data)
        : m_bytes(reinterpret_cast<const unsigned char*>(data.constData())),
          m_size(static_cast<uint64_t>(data.size())) {}

    bool acceptable() {
        constexpr uint64_t headerBytes = 8;
        constexpr uint64_t trailerBytes = 32;
        if (m_size < headerBytes + trailerBytes)
            return false;
        const unsigned char* trailer = m_bytes + m_size - trailerBytes;
        m_offsetSize = trailer[6];
        m_referenceSize = trailer[7];
        m_objectCount = bigEndian(trailer + 8, 8);
        const uint64_t top = bigEndian(trailer + 16, 8);
        m_tableOffset = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_referenceSize < 1 || m_referenceSize > 8 ||
            m_tableOffset < headerBytes || m_tableOffset > m_size - trailerBytes ||
            m_objectCount > (m_size - trailerBytes - m_tableOffset) / static_cast<uint64_t>(m_offsetSize))
            return false;
        return object(top, 0);
    }

private:
    // Every expanded object counts, shared ones once per reference, and so do the characters of every
    // expanded string, the bytes of every data object and the square of every expanded array's length
    // (one array of 8192 items reaches that budget). No Info.plist comes near any of them. Characters,
    // not bytes: the same text is stored in one byte a character or in two, and a list must be read
    // alike whichever way it was written. A million characters, far more text than the largest Info.plist
    // holds, take about 20 ms to read; sixteen times as many, which 20 KB of references to one string
    // reach, took half a second. (The budgets are maximumPayload and maximumArrayWork.)

    // The element count after a marker: the low nibble, or an integer object that follows it.
    bool count(uint64_t& position, unsigned char marker, uint64_t& value) const {
        value = marker & 0x0F;
        if (value != 0x0F)
            return true;
        if (position >= m_tableOffset || (m_bytes[position] >> 4) != 0x1)
            return false;
        const int lengthBytes = 1 << (m_bytes[position] & 0x0F);
        if (lengthBytes > 8 || position + 1 + static_cast<uint64_t>(lengthBytes) > m_tableOffset)
            return false;
        value = bigEndian(m_bytes + position + 1, lengthBytes);
        position += 1 + static_cast<uint64_t>(lengthBytes);
        return true;
    }

    bool object(uint64_t index, int depth) {
        if (depth > maximumDepth || index >= m_objectCount || ++m_objects > maximumValues)
            return false;
        const uint64_t offset =
            bigEndian(m_bytes + m_tableOffset + index * static_cast<uint64_t>(m_offsetSize), m_offsetSize);
        if (offset < 8 || offset >= m_tableOffset)
            return false;
        const unsigned char marker = m_bytes[offset];
        uint64_t position = offset + 1;
        uint64_t elements = 0;
        switch (marker >> 4) {
        case 0x4: // data
        case 0x5: // ASCII string
        case 0x6: // UTF-16 string
        case 0x7: // UTF-8 string
        {
            const uint64_t unitSize = (marker >> 4) == 0x6 ? 2 : 1;
            if (!count(position, marker, elements) || elements > (m_tableOffset - position) / unitSize)
                return false;
            const uint64_t bytes = elements * unitSize;
            m_payload += elements;
            if (m_payload > maximumPayload)
                return false;
            if ((marker >> 4) == 0x4)
                return true;
            const unsigned char* text = m_bytes + position;
            if (unitSize == 1)
                return std::memchr(text, '\0', static_cast<size_t>(bytes)) == nullptr;
            for (uint64_t unit = 0; unit < elements; ++unit) {
                if (text[2 * unit] == 0 && text[2 * unit + 1] == 0)
                    return false;
            }
            return true;
        }
        case 0xA: // array
        case 0xC: // set
        case 0xD: // dictionary: the keys, then the values
        {
            if (!count(position, marker, elements))
                return false;
            const uint64_t references = (marker >> 4) == 0xD ? 2 : 1;
            if (elements > (m_tableOffset - position) / static_cast<uint64_t>(m_referenceSize) / references)
                return false;
            if (references == 1) {
                m_arrayWork += elements * elements; // elements < 2^32: the table bounds them
                if (m_arrayWork > maximumArrayWork)
                    return false;
            }
            for (uint64_t i = 0; i < elements * references; ++i) {
                const uint64_t child = bigEndian(
                    m_bytes + position + i * static_cast<uint64_t>(m_referenceSize), m_referenceSize);
                if (!object(child, depth + 1))
                    return false;
            }
            return true;
        }
        default: // fixed-size values; the reader checks them itself
            return true;
        }
    }

    const unsigned char* m_bytes;
    uint64_t m_size;
    int m_offsetSize = 0;
    int m_referenceSize = 0;
    uint64_t m_objectCount = 0;
    uint64_t m_tableOffset = 0;
    uint64_t m_objects = 0;
    uint64_t m_payload = 0;
    uint64_t m_arrayWork = 0;
};

// libplist's XML reader and its tree release recurse once per nesting level. XML 1.0 has no NUL
// character, and the reader would cut a key at a raw NUL byte without notice, so any NUL byte is
// refused too. Comments, CDATA sections, declarations and quoted attribute values are skipped; a deeper
// nesting than any reader of these lists needs, more elements than the node limit, or text whose entity
// references would take the reader seconds, is refused before the reader sees it.
bool xmlAcceptable(const QByteArray& data) {
    if (data.contains('\0'))
        return false;
    const auto skipPast = [&data](qsizetype from, const char* end) {
        const qsizetype at = data.indexOf(end, from);
        return at < 0 ? data.size() : at + qsizetype(std::strlen(end));
    };
    // About a tenth of a second of the reader's work; text with a few thousand references stays far below.
    constexpr uint64_t maximumEntityWork = uint64_t(1) << 32;
    uint64_t entityWork = 0;
    uint64_t nodes = 0;
    int depth = 0;
    qsizetype position = data.indexOf('<');
    while (position >= 0 && position < data.size()) {
        const QByteArrayView rest = QByteArrayView(data).sliced(position);
        if (rest.startsWith("<!--")) {
            position = skipPast(position + 4, "-->");
        } else if (rest.startsWith("<![CDATA[")) {
            position = skipPast(position + 9, "]]>");
        } else if (rest.startsWith("<?")) {
            position = skipPast(position + 2, "?>");
        } else if (rest.startsWith("<!")) {
            position = skipPast(position + 2, ">");
        } else {
            const bool closing = rest.startsWith("</");
            qsizetype end = position + 1;
            char quote = 0;
            while (end < data.size() && (quote != 0 || data.at(end) != '>')) {
                const char c = data.at(end);
                if (quote != 0 && c == quote)
                    quote = 0;
                else if (quote == 0 && (c == '"' || c == '\''))
                    quote = c;
                ++end;
            }
            if (closing)
                --depth;
            else if (++nodes > maximumValues)
                return false;
            else if (end >= data.size() || data.at(end - 1) != '/')
                ++depth;
            // The plist element and a leaf element around the deepest container.
            if (depth > maximumDepth + 2)
                return false;
            position = end + 1;
        }
        if (position < data.size()) {
            // The reader resolves each entity reference by moving the rest of its text: a text of many
            // references costs their number times its length.
            const qsizetype next = data.indexOf('<', position);
            const auto text =
                QByteArrayView(data).sliced(position, (next < 0 ? data.size() : next) - position);
            entityWork += uint64_t(std::count(text.begin(), text.end(), '&')) * uint64_t(text.size());
            if (entityWork > maximumEntityWork)
                return false;
            position = next;
        }
    }
    return true;
}

// libplist 2.2 reads XML only as UTF-8 without a byte-order mark, yet Info.plist files come with a UTF-8
// mark or in UTF-16 with one, and are valid property lists: they reach the reader as plain UTF-8. Text in
// UTF-16 that does not decode is refused.
QByteArray withoutByteOrderMark(const QByteArray& data) {
    if (data.startsWith("\xEF\xBB\xBF"))
        return data.mid(3);
    const bool little = data.startsWith("\xFF\xFE");
    if (!little && !data.startsWith("\xFE\xFF"))
        return data;
    QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    const QString text = decoder.decode(QByteArrayView(data).sliced(2));
    if (decoder.hasError())
        throw PropertyListError();
    return text.toUtf8();
}

QVariant convert(plist_t node, int depth, Expansion& expansion) {
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
    case PLIST_STRING: {
        QString text = stringValue(node);
        expansion.text(uint64_t(text.size()));
        return QVariant(std::move(text));
    }
    case PLIST_DATA: {
        uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (length > static_cast<uint64_t>(std::numeric_limits<qsizetype>::max()))
            throw PropertyListError();
        expansion.text(length);
        return QVariant(QByteArray(bytes, static_cast<qsizetype>(length)));
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t microseconds = 0;
        plist_get_date_val(node, &seconds, &microseconds);
        // libplist 2.2 gives the whole seconds truncated toward zero and the size of the fraction, so a
        // date before the reference has its fraction taken away, not added (within the first second
        // before it the sign is lost). A date beyond 32-bit seconds, before 1933 or after 2069, comes out
        // at the limit of the range: it is read as an unknown date rather than as another one.
        if (seconds == std::numeric_limits<int32_t>::min() || seconds == std::numeric_limits<int32_t>::max())
            return QVariant(QDateTime());
        const qint64 fraction = microseconds / 1000;
        // Property-list dates count from 2001-01-01 00:00:00 UTC.
        const QDateTime reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
        const qint64 milliseconds =
            static_cast<qint64>(seconds) * 1000 + (seconds < 0 ? -fraction : fraction);
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
        expansion.array(count);
        list.reserve(static_cast<qsizetype>(count));
        for (uint32_t i = 0; i < count; ++i) {
            plist_t item = plist_array_get_item(node, i);
            if (item == nullptr)
                throw PropertyListError();
            list.append(convert(item, depth + 1, expansion));
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
            QString key = utf8Text(rawKey, qsizetype(std::strlen(rawKey)));
            expansion.text(uint64_t(key.size()));
            map.insert(std::move(key), convert(value, depth + 1, expansion));
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

QVariant parse(const QByteArray& original) {
    const QByteArray data = withoutByteOrderMark(original);
    if (data.isEmpty() || data.size() > std::numeric_limits<int32_t>::max())
        throw PropertyListError();
    const bool binary = plist_is_binary(data.constData(), static_cast<uint32_t>(data.size()));
    if (binary ? !BinaryListCheck(data).acceptable() : !xmlAcceptable(data))
        throw PropertyListError();
    plist_t root = nullptr;
    {
        const CNumericLocale numeric;
        plist_from_memory(data.constData(), static_cast<uint32_t>(data.size()), &root);
    }
    if (root == nullptr)
        throw PropertyListError();
    const PlistHandle owner(root);
    Expansion expansion;
    return convert(root, 0, expansion);
}

} // namespace lunorvale::PropertyList
