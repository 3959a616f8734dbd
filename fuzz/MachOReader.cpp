// Mach-O code signatures: any bytes are read without a crash, and a signed file with any byte of its
// code changed never checks as intact, whichever bytes and however many.

#include "fixtures/SignedCode.h"
#include "fuzz/support/Fuzz.h"
#include "platform/codesign/CodeSignature.h"

#include <QSet>

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace {

const QByteArray info("<plist><dict/></plist>");

// A universal file of a little-endian 64-bit and a big-endian 32-bit slice, signed with a certificate
// and entitlements, sealing an Info.plist; made once.
const fixture::SignedCode& signedFile() {
    static const fixture::SigningIdentity identity;
    static const fixture::SignedCode code = fixture::machO(
        fixture::CodeSpec({fixture::SliceSpec(), fixture::SliceSpec(true, false)}, &identity, info), info);
    return code;
}

CodeSignatureCheck::Status statusOf(const QByteArray& bytes) {
    return CodeSignature::check(MemoryByteSource(bytes), {info, std::nullopt}).status;
}

} // namespace

namespace lunorvale::fuzz {
// The first byte chooses: even reads the rest as a file, odd as changes to the signed file (five bytes
// each: an offset into its code, little-endian, and the bits to flip).
std::vector<QByteArray> seeds() {
    return {QByteArray(1, '\0') + signedFile().bytes, QByteArray::fromHex("01"
                                                                          "10000000"
                                                                          "80"
                                                                          "00300000"
                                                                          "01")};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(bytes) + 1, qsizetype(size - 1));
    if ((bytes[0] & 1) == 0) {
        statusOf(rest);
        return 0;
    }
    const fixture::SignedCode& code = signedFile();
    qsizetype hashed = 0;
    for (const auto& range : code.hashedRanges)
        hashed += range.second;
    QByteArray changed = code.bytes;
    QSet<qsizetype> touched; // a second flip of the same byte could undo the first
    for (qsizetype at = 0; at + 5 <= rest.size(); at += 5) {
        const auto* record = reinterpret_cast<const uint8_t*>(rest.constData() + at);
        qsizetype offset =
            qsizetype((record[0] | record[1] << 8 | record[2] << 16 | uint32_t(record[3]) << 24) % hashed);
        for (const auto& [start, length] : code.hashedRanges) {
            if (offset < length) {
                offset += start;
                break;
            }
            offset -= length;
        }
        if (touched.contains(offset))
            continue;
        touched.insert(offset);
        changed[offset] = char(changed[offset] ^ (record[4] ? record[4] : 1));
    }
    if (touched.isEmpty())
        return 0;
    check(statusOf(changed) != CodeSignatureCheck::Status::valid,
          "a changed code byte never checks as intact");
    return 0;
}
