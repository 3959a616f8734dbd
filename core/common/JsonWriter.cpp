#include "core/common/JsonWriter.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lunorvale {

JsonValue JsonValue::array() {
    JsonValue value;
    value.m_type = Type::array;
    return value;
}

JsonValue JsonValue::object() {
    JsonValue value;
    value.m_type = Type::object;
    return value;
}

void JsonValue::append(JsonValue element) {
    if (m_type == Type::array)
        m_elements.push_back(std::move(element));
}

void JsonValue::insert(QString key, JsonValue value) {
    if (m_type == Type::object)
        m_members.push_back(JsonMember{std::move(key), std::move(value)});
}

namespace JsonWriter {
namespace {

void appendUtf8(QByteArray& out, char32_t code) {
    if (code < 0x80) {
        out.append(static_cast<char>(code));
    } else if (code < 0x800) {
        out.append(static_cast<char>(0xC0 | (code >> 6)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.append(static_cast<char>(0xE0 | (code >> 12)));
        out.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (code >> 18)));
        out.append(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The code point at `i`, which moves past it.
char32_t nextCodePoint(QStringView text, qsizetype& i) {
    const char16_t unit = text.at(i++).unicode();
    if (QChar::isHighSurrogate(unit) && i < text.size() && QChar::isLowSurrogate(text.at(i).unicode()))
        return QChar::surrogateToUcs4(unit, text.at(i++).unicode());
    // A lone surrogate cannot be written as UTF-8; readers would reject the whole file.
    return QChar::isSurrogate(unit) ? char32_t{0xFFFD} : char32_t{unit};
}

void writeString(QByteArray& out, const QString& text, const Options& options) {
    static const char hex[] = "0123456789abcdef";
    out.append('"');
    for (qsizetype i = 0; i < text.size();) {
        const char32_t code = nextCodePoint(text, i);
        switch (code) {
        case '"':
            out.append("\\\"");
            continue;
        case '\\':
            out.append("\\\\");
            continue;
        case '/':
            out.append(options.escapeSlashes ? "\\/" : "/");
            continue;
        case '\b':
            out.append("\\b");
            continue;
        case '\f':
            out.append("\\f");
            continue;
        case '\n':
            out.append("\\n");
            continue;
        case '\r':
            out.append("\\r");
            continue;
        case '\t':
            out.append("\\t");
            continue;
        default:
            break;
        }
        if (code < 0x20) {
            out.append("\\u00");
            out.append(hex[code >> 4]);
            out.append(hex[code & 0xF]);
            continue;
        }
        appendUtf8(out, code);
    }
    out.append('"');
}

void newline(QByteArray& out, const Options& options, int depth) {
    if (options.indent <= 0)
        return;
    out.append('\n');
    out.append(QByteArray(qsizetype(options.indent) * depth, ' '));
}

template <typename Integer> void writeInteger(QByteArray& out, Integer value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void writeValue(QByteArray& out, const JsonValue& value, const Options& options, int depth) {
    switch (value.type()) {
    case JsonValue::Type::null:
        out.append("null");
        return;
    case JsonValue::Type::boolean:
        out.append(value.toBool() ? "true" : "false");
        return;
    case JsonValue::Type::integer:
        writeInteger(out, value.toInteger());
        return;
    case JsonValue::Type::unsignedInteger:
        writeInteger(out, value.toUnsigned());
        return;
    case JsonValue::Type::number:
        if (!std::isfinite(value.toNumber()))
            throw JsonWriteError("a number that is not finite cannot be written as JSON");
        out.append(shortestNumber(value.toNumber()));
        return;
    case JsonValue::Type::string:
        writeString(out, value.toString(), options);
        return;
    case JsonValue::Type::array: {
        const auto& elements = value.elements();
        out.append('[');
        if (elements.empty()) {
            out.append(']');
            return;
        }
        for (size_t i = 0; i < elements.size(); ++i) {
            if (i > 0)
                out.append(',');
            newline(out, options, depth + 1);
            writeValue(out, elements[i], options, depth + 1);
        }
        newline(out, options, depth);
        out.append(']');
        return;
    }
    case JsonValue::Type::object: {
        std::vector<const JsonMember*> members;
        members.reserve(value.members().size());
        for (const auto& member : value.members())
            members.push_back(&member);
        if (options.sortKeys) {
            std::stable_sort(members.begin(), members.end(),
                             [](const JsonMember* a, const JsonMember* b) { return a->key < b->key; });
        }
        out.append('{');
        if (members.empty()) {
            out.append('}');
            return;
        }
        for (size_t i = 0; i < members.size(); ++i) {
            if (i > 0)
                out.append(',');
            newline(out, options, depth + 1);
            writeString(out, members[i]->key, options);
            out.append(options.indent > 0 ? " : " : ":");
            writeValue(out, members[i]->value, options, depth + 1);
        }
        newline(out, options, depth);
        out.append('}');
        return;
    }
    }
}

} // namespace

qsizetype utf8Size(QStringView text) {
    qsizetype size = 0;
    for (qsizetype i = 0; i < text.size();) {
        const char32_t code = nextCodePoint(text, i);
        size += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    }
    return size;
}

QByteArray shortestNumber(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QByteArray(buffer, result.ptr - buffer);
}

QByteArray write(const JsonValue& value, const Options& options) {
    QByteArray out;
    writeValue(out, value, options, 0);
    return out;
}

} // namespace JsonWriter
} // namespace lunorvale
