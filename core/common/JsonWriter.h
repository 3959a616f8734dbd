#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace lunorvale {

struct JsonMember;

// A JSON value whose objects keep their members in the order they were given. Stored files need
// a fixed key order and escaped slashes, which QJsonDocument cannot produce.
class JsonValue final {
public:
    enum class Type { null, boolean, integer, unsignedInteger, number, string, array, object };

    // Defined below JsonMember: they construct and destroy std::vector<JsonMember>, which needs the
    // complete type. GCC lets a definition here pass; clang does not.
    JsonValue();
    JsonValue(std::nullptr_t);
    JsonValue(bool value);
    // Every integer type, so that int64_t (long) and qint64 (long long) are both unambiguous.
    JsonValue(int value);
    JsonValue(long value);
    JsonValue(long long value);
    JsonValue(unsigned value);
    JsonValue(unsigned long value);
    JsonValue(unsigned long long value);
    JsonValue(double value);
    JsonValue(QString value);
    JsonValue(const char*) = delete; // say QStringLiteral, so the encoding is never in doubt
    JsonValue(const JsonValue&);
    JsonValue(JsonValue&&) noexcept;
    JsonValue& operator=(const JsonValue&);
    JsonValue& operator=(JsonValue&&) noexcept;
    ~JsonValue();

    // Empty; filled with append() and insert().
    static JsonValue array();
    static JsonValue object();

    Type type() const { return m_type; }
    bool toBool() const { return m_bool; }
    int64_t toInteger() const { return m_integer; }
    uint64_t toUnsigned() const { return m_unsigned; }
    double toNumber() const { return m_number; }
    const QString& toString() const { return m_string; }
    const std::vector<JsonValue>& elements() const { return m_elements; }
    const std::vector<JsonMember>& members() const { return m_members; }

    // Appends to an array or an object; other values are left alone.
    void append(JsonValue element);
    void insert(QString key, JsonValue value);

private:
    Type m_type = Type::null;
    bool m_bool = false;
    int64_t m_integer = 0;
    uint64_t m_unsigned = 0;
    double m_number = 0;
    QString m_string;
    std::vector<JsonValue> m_elements;
    std::vector<JsonMember> m_members;
};

struct JsonMember {
    QString key;
    JsonValue value;
};

inline JsonValue::JsonValue() = default;
inline JsonValue::JsonValue(const JsonValue&) = default;
inline JsonValue::JsonValue(JsonValue&&) noexcept = default;
inline JsonValue& JsonValue::operator=(const JsonValue&) = default;
inline JsonValue& JsonValue::operator=(JsonValue&&) noexcept = default;
inline JsonValue::~JsonValue() = default;
inline JsonValue::JsonValue(std::nullptr_t) {}
inline JsonValue::JsonValue(bool value) : m_type(Type::boolean), m_bool(value) {}
inline JsonValue::JsonValue(int value) : m_type(Type::integer), m_integer(value) {}
inline JsonValue::JsonValue(long value) : m_type(Type::integer), m_integer(value) {}
inline JsonValue::JsonValue(long long value) : m_type(Type::integer), m_integer(value) {}
inline JsonValue::JsonValue(unsigned value) : m_type(Type::unsignedInteger), m_unsigned(value) {}
inline JsonValue::JsonValue(unsigned long value) : m_type(Type::unsignedInteger), m_unsigned(value) {}
inline JsonValue::JsonValue(unsigned long long value) : m_type(Type::unsignedInteger), m_unsigned(value) {}
inline JsonValue::JsonValue(double value) : m_type(Type::number), m_number(value) {}
inline JsonValue::JsonValue(QString value) : m_type(Type::string), m_string(std::move(value)) {}

// A value that JSON cannot express (a number that is not finite).
class JsonWriteError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace JsonWriter {

struct Options {
    int indent = 0;             // spaces per level; 0 writes everything on one line without blanks
    bool escapeSlashes = false; // "/" as "\/"
    bool sortKeys = false;      // object keys in ascending UTF-16 order at every level
};

// UTF-8 text of the value. Throws JsonWriteError for a number that is not finite.
QByteArray write(const JsonValue& value, const Options& options = {});

// The UTF-8 bytes `write` stores for the text of a string (before escaping): a lone surrogate,
// which UTF-8 cannot carry, counts as the three bytes of the U+FFFD written in its place.
qsizetype utf8Size(QStringView text);

// The shortest decimal text that reads back as the same double (std::to_chars), such as "0.1",
// "60", "1e+16". Never depends on the C locale.
QByteArray shortestNumber(double value);

} // namespace JsonWriter
} // namespace lunorvale
