// Update feeds: anything either reads as releases or fails as an UpdateError of the feed; every
// release read is complete, versions order consistently, and the release chosen is newer than the
// running one and than every other candidate.

#include "platform/update/Appcast.h"
#include "fuzz/support/Fuzz.h"

#include <algorithm>

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {R"(<?xml version="1.0" encoding="utf-8"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel><title>岚栖</title>
<item><title>岚栖 1.2.0</title><description><![CDATA[<p>修复</p>]]></description>
<sparkle:version>120</sparkle:version><sparkle:shortVersionString>1.2.0</sparkle:shortVersionString>
<sparkle:criticalUpdate/>
<enclosure url="https://downloads.example.invalid/lunorvale-1.2.0" length="4096" type="application/octet-stream"
 sparkle:edSignature="QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0NTY3ODkrLw=="/></item>
<item><enclosure url="https://downloads.example.invalid/1.1b2" sparkle:version="1.1b2" length="10" sparkle:os="linux"/></item>
</channel></rss>)"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray feed(reinterpret_cast<const char*>(data), qsizetype(size));
    QList<AppcastItem> items;
    try {
        items = Appcast::parse(feed);
    } catch (const UpdateError& error) {
        check(error.code == UpdateError::appcastInvalid, "a feed fails only as an unreadable feed");
        return 0;
    }
    const QString current = QStringLiteral("1.0");
    for (const AppcastItem& item : items) {
        check(!item.version.isEmpty() && !item.displayVersion.isEmpty(), "a release has its versions");
        check(item.url.isValid() && !item.url.isRelative(), "a release has an absolute address");
        check(Appcast::compareVersions(item.version, item.version) == 0, "a version equals itself");
        const auto order = Appcast::compareVersions(item.version, item.displayVersion);
        check(Appcast::compareVersions(item.displayVersion, item.version) == (0 <=> order),
              "versions order the same both ways");
    }
    const auto best = Appcast::bestItem(items, current);
    const bool anyNewer = std::any_of(items.cbegin(), items.cend(), [&](const AppcastItem& item) {
        return Appcast::compareVersions(item.version, current) > 0;
    });
    check(best.has_value() == anyNewer, "a newer release is found when there is one");
    if (best) {
        for (const AppcastItem& item : items)
            check(Appcast::compareVersions(item.version, best->version) <= 0, "the newest release is chosen");
    }
    return 0;
}
