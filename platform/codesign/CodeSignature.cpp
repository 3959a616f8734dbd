#include "platform/codesign/CodeSignature.h"

#include "platform/codesign/ByteOrder.h"
#include "platform/codesign/CmsSignature.h"
#include "platform/codesign/Digest.h"
#include "platform/files/PropertyList.h"

#include <QMap>
#include <algorithm>

namespace lunorvale::CodeSignature {
namespace {

constexpr uint32_t superBlobMagic = 0xfade0cc0;
constexpr uint32_t codeDirectoryMagic = 0xfade0c02;
constexpr uint32_t requirementsMagic = 0xfade0c01;
constexpr uint32_t entitlementsMagic = 0xfade7171;
constexpr uint32_t derEntitlementsMagic = 0xfade7172;
constexpr uint32_t cmsMagic = 0xfade0b01;

constexpr uint32_t codeDirectorySlot = 0;
constexpr uint32_t infoSlot = 1;
constexpr uint32_t requirementsSlot = 2;
constexpr uint32_t resourceSlot = 3;
constexpr uint32_t entitlementsSlot = 5;
constexpr uint32_t derEntitlementsSlot = 7;
constexpr uint32_t lastSpecialSlot = 0xfff;
constexpr uint32_t firstAlternateDirectory = 0x1000;
constexpr uint32_t lastAlternateDirectory = 0x1004;
constexpr uint32_t cmsSlot = 0x10000;

constexpr uint64_t chunkBytes = 1024 * 1024;

struct CodeDirectory {
    QByteArray bytes; // the whole blob, as the CMS signature and the unique identifier hash it
    Digest::Kind kind = Digest::Kind::sha256;
    uint32_t hashOffset = 0;
    uint32_t specialSlots = 0;
    uint32_t codeSlots = 0;
    uint32_t codeLimit = 0;
    uint8_t pageShift = 0;

    QByteArray slot(int64_t index) const {
        const int size = Digest::slotBytes(kind);
        return bytes.mid(static_cast<qsizetype>(int64_t(hashOffset) + index * size), size);
    }
};

std::optional<CodeDirectory> parseDirectory(const QByteArray& blob, uint32_t signatureOffset) {
    const char* data = blob.constData();
    const uint32_t length = static_cast<uint32_t>(blob.size());
    if (length < 44 || ByteOrder::big32(data) != codeDirectoryMagic)
        return std::nullopt;
    const uint32_t version = ByteOrder::big32(data + 8);
    if (version < 0x20001 || version >= 0x30000)
        return std::nullopt;
    // The header grows with the version; fields this reader does not interpret must be unused.
    uint32_t headerSize = 44;
    if (version >= 0x20100)
        headerSize = 48;
    if (version >= 0x20200)
        headerSize = 52;
    if (version >= 0x20300)
        headerSize = 64;
    if (version >= 0x20400)
        headerSize = 88;
    if (version >= 0x20500)
        headerSize = 96;
    if (length < headerSize)
        return std::nullopt;
    if (version >= 0x20100 && ByteOrder::big32(data + 44) != 0) // scatter table
        return std::nullopt;
    if (version >= 0x20300 && ByteOrder::big64(data + 56) != 0) // 64-bit code limit
        return std::nullopt;
    if (version >= 0x20500 && ByteOrder::big32(data + 92) != 0) // encrypted range
        return std::nullopt;

    CodeDirectory directory;
    directory.bytes = blob;
    directory.hashOffset = ByteOrder::big32(data + 16);
    const uint32_t identifierOffset = ByteOrder::big32(data + 20);
    directory.specialSlots = ByteOrder::big32(data + 24);
    directory.codeSlots = ByteOrder::big32(data + 28);
    directory.codeLimit = ByteOrder::big32(data + 32);
    const auto hashSize = static_cast<uint8_t>(data[36]);
    const std::optional<Digest::Kind> kind = Digest::fromType(static_cast<uint8_t>(data[37]));
    directory.pageShift = static_cast<uint8_t>(data[39]);
    if (!kind || hashSize != Digest::slotBytes(*kind))
        return std::nullopt;
    directory.kind = *kind;

    if (identifierOffset < headerSize || identifierOffset >= length ||
        blob.indexOf('\0', identifierOffset) < 0)
        return std::nullopt;
    if (directory.specialSlots > lastSpecialSlot ||
        uint64_t(directory.specialSlots) * hashSize > uint64_t(directory.hashOffset) ||
        directory.hashOffset - uint64_t(directory.specialSlots) * hashSize < headerSize ||
        uint64_t(directory.hashOffset) + uint64_t(directory.codeSlots) * hashSize > length)
        return std::nullopt;
    // Every byte before the signature is code, and each page of it has one slot.
    if (directory.codeLimit != signatureOffset)
        return std::nullopt;
    if (directory.pageShift != 0 && (directory.pageShift < 9 || directory.pageShift > 16))
        return std::nullopt;
    const uint64_t expectedSlots =
        directory.pageShift == 0
            ? (directory.codeLimit > 0 ? 1 : 0)
            : (uint64_t(directory.codeLimit) + (uint64_t(1) << directory.pageShift) - 1) >>
                  directory.pageShift;
    if (directory.codeSlots != expectedSlots)
        return std::nullopt;
    return directory;
}

bool pagesMatch(const ByteSource& source, const MachO::Slice& slice, const CodeDirectory& directory,
                const std::function<void()>& checkpoint) {
    const uint64_t limit = directory.codeLimit;
    const uint64_t page = directory.pageShift == 0 ? limit : uint64_t(1) << directory.pageShift;
    // Pages may span chunks: a directory with one page for all code is read like any other.
    QByteArray buffer(static_cast<qsizetype>(std::min(chunkBytes, limit)), Qt::Uninitialized);
    Digest digest(directory.kind);
    uint64_t position = 0;
    uint64_t filled = 0;
    int64_t slot = 0;
    while (position < limit) {
        if (checkpoint)
            checkpoint();
        const uint64_t count = std::min(chunkBytes, limit - position);
        if (!source.read(slice.offset + position, buffer.data(), count))
            return false;
        uint64_t at = 0;
        while (at < count) {
            const uint64_t take = std::min(count - at, page - filled);
            digest.add(buffer.constData() + at, static_cast<qsizetype>(take));
            at += take;
            filled += take;
            if (filled == page || position + at == limit) {
                if (digest.result() != directory.slot(slot))
                    return false;
                ++slot;
                filled = 0;
            }
        }
        position += count;
    }
    return slot == directory.codeSlots;
}

// Each special slot must seal exactly what is there: the blob or file of its number, or nothing
// (all zero bytes). Something present but beyond the directory's slots is unsealed.
bool specialSlotsMatch(const CodeDirectory& directory, const QMap<uint32_t, QByteArray>& specialBlobs,
                       const SealedFiles& sealed) {
    uint32_t highest =
        std::max({directory.specialSlots, resourceSlot, specialBlobs.isEmpty() ? 0 : specialBlobs.lastKey()});
    const int size = Digest::slotBytes(directory.kind);
    const QByteArray empty(size, '\0');
    for (uint32_t number = 1; number <= highest; ++number) {
        std::optional<QByteArray> sealedBytes;
        if (number == infoSlot)
            sealedBytes = sealed.infoPlist;
        else if (number == resourceSlot)
            sealedBytes = sealed.resourceSeal;
        else if (specialBlobs.contains(number))
            sealedBytes = specialBlobs.value(number);
        const QByteArray expected = sealedBytes ? Digest::of(directory.kind, *sealedBytes) : empty;
        const QByteArray actual = number <= directory.specialSlots ? directory.slot(-int64_t(number)) : empty;
        if (actual != expected)
            return false;
    }
    return true;
}

int strength(Digest::Kind kind) {
    switch (kind) {
    case Digest::Kind::sha1:
        return 1;
    case Digest::Kind::sha256Truncated:
        return 2;
    case Digest::Kind::sha256:
        return 3;
    case Digest::Kind::sha384:
        return 4;
    }
    return 0;
}

struct SliceResult {
    QByteArray unique;
    std::optional<QVariantMap> entitlements;
    std::optional<QByteArray> rootFingerprint;
};

std::optional<SliceResult> checkSlice(const ByteSource& source, const MachO::Slice& slice,
                                      const SealedFiles& sealed, const std::function<void()>& checkpoint) {
    const MachO::SignatureLocation location = *slice.signature;
    if (location.size > maximumSignatureBytes || location.size < 12)
        return std::nullopt;
    QByteArray signature(static_cast<qsizetype>(location.size), Qt::Uninitialized);
    if (!source.read(slice.offset + location.offset, signature.data(), location.size))
        return std::nullopt;
    const char* data = signature.constData();
    const uint32_t length = ByteOrder::big32(data + 4);
    const uint32_t count = ByteOrder::big32(data + 8);
    if (ByteOrder::big32(data) != superBlobMagic || length < 12 || length > location.size ||
        count > (length - 12) / 8)
        return std::nullopt;

    QMap<uint32_t, QByteArray> blobs;
    for (uint32_t index = 0; index < count; ++index) {
        const uint32_t type = ByteOrder::big32(data + 12 + index * 8);
        const uint32_t offset = ByteOrder::big32(data + 16 + index * 8);
        if (offset < 12 + count * 8 || uint64_t(offset) + 8 > length || blobs.contains(type))
            return std::nullopt;
        const uint32_t blobLength = ByteOrder::big32(data + offset + 4);
        if (blobLength < 8 || uint64_t(offset) + blobLength > length)
            return std::nullopt;
        blobs.insert(type, signature.mid(offset, blobLength));
    }

    QList<CodeDirectory> directories;
    QMap<uint32_t, QByteArray> specialBlobs;
    std::optional<QByteArray> cms;
    for (auto it = blobs.cbegin(); it != blobs.cend(); ++it) {
        const uint32_t type = it.key();
        const uint32_t magic = ByteOrder::big32(it.value().constData());
        if (type == codeDirectorySlot ||
            (type >= firstAlternateDirectory && type <= lastAlternateDirectory)) {
            std::optional<CodeDirectory> directory = parseDirectory(it.value(), location.offset);
            if (!directory)
                return std::nullopt;
            directories.append(std::move(*directory));
        } else if (type == cmsSlot) {
            if (magic != cmsMagic)
                return std::nullopt;
            cms = it.value().mid(8);
        } else if (type <= lastSpecialSlot && type != infoSlot && type != resourceSlot) {
            if ((type == requirementsSlot && magic != requirementsMagic) ||
                (type == entitlementsSlot && magic != entitlementsMagic) ||
                (type == derEntitlementsSlot && magic != derEntitlementsMagic))
                return std::nullopt;
            specialBlobs.insert(type, it.value());
        } else {
            return std::nullopt;
        }
    }
    if (!blobs.contains(codeDirectorySlot))
        return std::nullopt;

    SliceResult result;
    const CodeDirectory* strongest = nullptr;
    for (const CodeDirectory& directory : std::as_const(directories)) {
        if (!specialSlotsMatch(directory, specialBlobs, sealed) ||
            !pagesMatch(source, slice, directory, checkpoint))
            return std::nullopt;
        if (strongest == nullptr || strength(directory.kind) > strength(strongest->kind))
            strongest = &directory;
    }
    result.unique = Digest::of(strongest->kind, strongest->bytes).left(uniqueBytesPerSlice);

    if (specialBlobs.contains(entitlementsSlot)) {
        try {
            const QVariant parsed = PropertyList::parse(specialBlobs.value(entitlementsSlot).mid(8));
            if (parsed.typeId() != QMetaType::QVariantMap)
                return std::nullopt;
            result.entitlements = parsed.toMap();
        } catch (const PropertyListError&) {
            return std::nullopt;
        }
    }
    // An empty CMS blob marks an ad-hoc signature: intact, but signed by nobody.
    if (cms && !cms->isEmpty()) {
        result.rootFingerprint = CmsSignature::verifiedRoot(*cms, blobs.value(codeDirectorySlot));
        if (!result.rootFingerprint)
            return std::nullopt;
    }
    return result;
}

} // namespace

CodeSignatureCheck check(const ByteSource& executable, const SealedFiles& sealed,
                         const std::function<void()>& checkpoint) {
    const MachO::File file = MachO::read(executable);
    if (file.layout == MachO::Layout::notMachO)
        return CodeSignatureCheck::notSigned();
    if (file.layout == MachO::Layout::malformed)
        return CodeSignatureCheck::invalid();
    const auto isSigned = [](const MachO::Slice& slice) {
        return slice.signature.has_value();
    };
    if (std::none_of(file.slices.cbegin(), file.slices.cend(), isSigned))
        return CodeSignatureCheck::notSigned();
    if (!std::all_of(file.slices.cbegin(), file.slices.cend(), isSigned))
        return CodeSignatureCheck::invalid();

    CodeSignatureCheck result{CodeSignatureCheck::Status::valid, {}, {}, {}};
    for (const MachO::Slice& slice : file.slices) {
        const std::optional<SliceResult> checked = checkSlice(executable, slice, sealed, checkpoint);
        if (!checked)
            return CodeSignatureCheck::invalid();
        result.uniqueIdentifier += checked->unique;
        if (checked->entitlements)
            result.entitlements.append(*checked->entitlements);
        if (checked->rootFingerprint)
            result.rootFingerprints.append(*checked->rootFingerprint);
    }
    return result;
}

} // namespace lunorvale::CodeSignature
