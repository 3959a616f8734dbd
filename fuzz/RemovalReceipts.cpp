// Removal receipts: anything that is not a list of well-formed receipts fails as a RemovalLogFormatError,
// and what decodes is written and read back as the same receipts.

#include "core/applications/ApplicationRemovalLog.h"
#include "fuzz/support/Fuzz.h"

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    const ApplicationRemovalReceipt moved{
        QUuid::createUuid(), QDateTime::currentDateTimeUtc(), QStringLiteral("/Applications/笔记.app"),
        QStringLiteral("/home/u/.local/share/Trash/files/笔记.app"),
        ApplicationRemovalReceipt::stateText(ApplicationRemovalReceipt::State::moved)};
    ApplicationRemovalReceipt pending = moved;
    pending.trashPath.reset();
    pending.deletionDate = QStringLiteral("2024-05-06T07:08:09");
    pending.state = ApplicationRemovalReceipt::stateText(ApplicationRemovalReceipt::State::pending);
    return {
        ApplicationRemovalLog::encode({moved, pending}), "[]",
        R"([{"id":"6A2B7C1E-0F3D-4E5A-9B8C-7D6E5F4A3B2C","date":-1e9,"originalPath":"\ud83d\ude00","trashPath":null,"state":"x","other":[1]}])"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    QList<ApplicationRemovalReceipt> receipts;
    try {
        receipts =
            ApplicationRemovalLog::decode(QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(size)));
    } catch (const RemovalLogFormatError&) {
        return 0;
    }
    std::optional<QList<ApplicationRemovalReceipt>> again;
    try {
        again = ApplicationRemovalLog::decode(ApplicationRemovalLog::encode(receipts));
    } catch (const RemovalLogFormatError&) {
    }
    check(again == receipts, "decoded receipts are written and read back the same");
    return 0;
}
