#include "platform/DesktopLaunch.h"

#include <QStringDecoder>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace lunorvale::DesktopLaunch {
namespace {

// Longer IDs name no file anywhere: file names stop at 255 bytes.
constexpr size_t longestID = 255 - std::string_view(".desktop").size();

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The ID with \xNN undone, or nothing when it cannot name a desktop file.
std::optional<QString> unescapedID(std::string_view escaped) {
    std::string bytes;
    bytes.reserve(escaped.size());
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] == '\\' && i + 3 < escaped.size() && escaped[i + 1] == 'x') {
            const int high = hexDigit(escaped[i + 2]);
            const int low = hexDigit(escaped[i + 3]);
            if (high >= 0 && low >= 0) {
                bytes.push_back(static_cast<char>(high * 16 + low));
                i += 3;
                continue;
            }
        }
        bytes.push_back(escaped[i]);
    }
    if (bytes.size() > longestID)
        return std::nullopt;
    // A leading byte-order mark is part of the file name like any other character: kept, not dropped.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString id = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    // What names no file in a folder, or none anyone could have meant: control characters of either
    // range (U+0000–U+001F, U+007F–U+009F) included.
    if (decoder.hasError() || id.isEmpty() || id == u"." || id == u".." || id.contains(u'/') ||
        std::any_of(id.begin(), id.end(), [](QChar c) { return c.category() == QChar::Other_Control; }))
        return std::nullopt;
    return id;
}

bool isUUID(std::string_view text) {
    if (text.size() != 36)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? text[i] != '-' : hexDigit(text[i]) < 0)
            return false;
    }
    return true;
}

// The part naming the application in app-…: without the prefix, the random part and the suffix.
std::string_view desktopPart(std::string_view unit) {
    constexpr std::string_view prefix = "app-";
    if (!unit.starts_with(prefix))
        return {};
    unit.remove_prefix(prefix.size());
    if (unit.ends_with(".scope")) {
        unit.remove_suffix(std::string_view(".scope").size());
        const size_t dash = unit.rfind('-');
        // A scope always carries its random part.
        if (dash == std::string_view::npos || dash + 1 == unit.size())
            return {};
        return unit.substr(0, dash);
    }
    if (unit.ends_with(".service")) {
        unit.remove_suffix(std::string_view(".service").size());
        return unit.substr(0, unit.find('@'));
    }
    return {};
}

} // namespace

QStringList applicationIDs(std::string_view unit) {
    std::vector<std::string_view> escaped;
    if (const std::string_view part = desktopPart(unit); !part.empty()) {
        // The whole part first; then, as a launcher may lead it, what follows its first dash.
        escaped.push_back(part);
        if (const size_t dash = part.find('-'); dash != std::string_view::npos && dash > 0)
            escaped.push_back(part.substr(dash + 1));
    } else if (unit.starts_with("snap.") && unit.ends_with(".scope")) {
        std::string_view part = unit.substr(5, unit.size() - 5 - std::string_view(".scope").size());
        if (part.size() > 37 && part[part.size() - 37] == '-' && isUUID(part.substr(part.size() - 36))) {
            part = part.substr(0, part.size() - 37);
            const size_t dot = part.find('.');
            // snap.<snap>.<app>: hooks (snap.<snap>.hook.<name>) have no desktop file.
            if (dot != std::string_view::npos && dot > 0 && dot + 1 < part.size() &&
                part.find('.', dot + 1) == std::string_view::npos) {
                const auto snap = unescapedID(part.substr(0, dot));
                const auto app = unescapedID(part.substr(dot + 1));
                // Each part may fit a file name while the two joined do not.
                if (snap && app && (*snap + u'_' + *app).toUtf8().size() <= qsizetype(longestID))
                    return {*snap + u'_' + *app};
            }
        }
        return {};
    }
    QStringList ids;
    for (const std::string_view candidate : escaped) {
        if (auto id = unescapedID(candidate); id && !ids.contains(*id))
            ids.append(std::move(*id));
    }
    return ids;
}

} // namespace lunorvale::DesktopLaunch
