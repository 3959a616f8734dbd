// What tells which desktop application a process is: its control groups, its systemd unit's name and
// the desktop file of the ID found there. Names and IDs found are always usable as shown, and an
// application's name or ID written out the way desktops write them reads back as itself.

#include "platform/DesktopLaunch.h"
#include "core/common/SafeText.h"
#include "fuzz/support/Fuzz.h"
#include "platform/DesktopEntries.h"
#include "platform/probes/ProcCgroupParse.h"

#include <algorithm>
#include <cctype>
#include <string>

using lunorvale::fuzz::check;
using namespace lunorvale;

namespace {

bool usable(const QString& text) {
    return !text.isEmpty() && std::none_of(text.begin(), text.end(),
                                           [](QChar c) { return c.category() == QChar::Other_Control; });
}

// As systemd escapes a unit name's parts: every byte but letters, digits, ':', '_' and '.' as \xNN.
std::string escapedForUnit(const QByteArray& bytes) {
    std::string escaped;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == ':' || c == '_' || c == '.') {
            escaped.push_back(c);
        } else {
            constexpr char digits[] = "0123456789abcdef";
            escaped += {'\\', 'x', digits[byte >> 4], digits[byte & 15]};
        }
    }
    return escaped;
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {"app-gnome-org.gnome.Nautilus-3456.scope",
            "snap.hello-world.sh-4706fe54-7802-4808-aa7e-ae8b567239e0.scope",
            "9:name=systemd:/\n0::/user.slice/app-gnome-google\\x2dchrome-8842.scope\n",
            "[Desktop Entry]\nName=Files\nName[zh]=文件\nName[zh_CN]=文件管理\n",
            // An escape before a byte-order mark: a name of nothing visible that did not read back.
            "[Desktop Entry]\nName=\x1b\xEF\xBB\xBF",
            // Byte-order marks where an ID starts: a decoder that drops them leaves an empty ID, ".desktop".
            "app-grp-\xef\xbb\xbf-34\xb5.scope", "app-gnome-\xef\xbb\xbf-42.scope",
            "app-\xef\xbb\xbf-42.scope",
            // A snap and an app that each fit a file name, joined into an ID that does not.
            "snap." + QByteArray(200, 'a') + '.' + QByteArray(50, 'b') +
                "-4706fe54-7802-4808-aa7e-ae8b567239e0.scope"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const std::string_view unit = probes::systemdUnit(text);
    check(unit.empty() ||
              (unit.data() >= text.data() && unit.data() + unit.size() <= text.data() + text.size()),
          "the unit is part of the text");
    check(unit.find('/') == std::string_view::npos && unit.find('\n') == std::string_view::npos,
          "the unit is one component of one line");

    for (const QString& id : DesktopLaunch::applicationIDs(text)) {
        check(usable(id) && !id.contains(u'/') && id != u"." && id != u"..",
              "an ID names a file in a folder");
        // Launched by a desktop that leads with its own name, the ID is found again last.
        const std::string launched = "app-gnome-" + escapedForUnit(id.toUtf8()) + "-42.scope";
        const QStringList again = DesktopLaunch::applicationIDs(launched);
        check(!again.isEmpty() && again.last() == id, "an escaped ID reads back as itself");
    }

    const QByteArrayView bytes(text.data(), static_cast<qsizetype>(text.size()));
    if (const std::optional<QString> name = DesktopEntries::name(bytes)) {
        check(usable(*name) && *name == name->simplified(), "a name shows on one line without extra blanks");
        check(SafeText::oneLine(*name) == name, "a name holds only what shows, in the order it shows");
        const QByteArray line = "Name[zh_CN]=" + name->toUtf8().replace('\\', "\\\\");
        // Doubled backslashes may make the line longer than any line that is read.
        if (line.size() <= 4096)
            check(DesktopEntries::name("[Desktop Entry]\n" + line + "\n") == name,
                  "a name written out reads back as itself");
    }
    return 0;
}
