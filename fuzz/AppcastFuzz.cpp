#include "platform/update/Appcast.h"
#include "platform/update/Ed25519Signature.h"

#include <cstddef>
#include <cstdint>

using namespace lunorvale;

// Any bytes as an update feed: parsing either returns releases or throws UpdateError, and choosing
// among the releases it returns holds up as well.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray feed = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const QList<AppcastItem> items = Appcast::parse(feed);
        for (const AppcastItem& item : items) {
            Appcast::compareVersions(item.version, item.displayVersion);
            Ed25519Signature::decodeSignature(item.edSignature);
        }
        Appcast::bestItem(items, QStringLiteral("1.0"), QStringLiteral("1.0.1b1"));
    } catch (const UpdateError&) {
    }
    return 0;
}
