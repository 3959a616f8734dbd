#pragma once

#include "platform/codesign/MachO.h"

#include <QByteArray>
#include <QList>
#include <QVariantMap>
#include <functional>
#include <optional>

namespace lunorvale {

// What an embedded code signature says, and whether the code still matches it.
struct CodeSignatureCheck {
    enum class Status {
        valid,
        notSigned, // not a Mach-O file, or not one of its slices carries a signature
        invalid,   // a signature is there, but it cannot be read or something does not match it
        // Only of a whole bundle (BundleSignature): the check ran out of its time or entries before it
        // could decide, or the seal's rules ask for more matching work than any seal needs.
        overBudget,
        rulesTooComplex,
    };

    Status status = Status::invalid;
    // The code's unique identifier: the hash of each slice's CodeDirectory (the strongest kind it has,
    // cut to 20 bytes), concatenated in slice order. A new build, a new signature or a changed slice
    // changes it. Empty unless valid.
    QByteArray uniqueIdentifier;
    // The entitlement property lists of the slices that carry one.
    QList<QVariantMap> entitlements;
    // For each slice signed with a certificate: the SHA-256 of the self-signed root certificate its chain
    // verified up to. Ad-hoc signatures add nothing.
    QList<QByteArray> rootFingerprints;

    static CodeSignatureCheck notSigned() { return {Status::notSigned, {}, {}, {}}; }
    static CodeSignatureCheck invalid() { return {Status::invalid, {}, {}, {}}; }
};

// The embedded signature of a Mach-O file (the LC_CODE_SIGNATURE blob): a big-endian super blob
// holding a CodeDirectory (possibly alternatives with other hash kinds), the requirements, the
// entitlements and a CMS signature over the CodeDirectory.
//
// The code is intact when, for every slice: each CodeDirectory's page hashes match the slice's bytes
// up to the signature, which is where its code limit must end; each special slot matches what it seals
// (slot 1 the bundle's Info.plist, slot 3 its resource seal, every other slot the blob of that number)
// and nothing that is there is left unsealed; and a CMS signature, when present, verifies over the first
// CodeDirectory. Scatter tables and encrypted ranges are refused, not interpreted.
namespace CodeSignature {

// The files outside the executable that its signature seals, as read by the caller.
struct SealedFiles {
    std::optional<QByteArray> infoPlist;    // the bundle's Contents/Info.plist
    std::optional<QByteArray> resourceSeal; // the bundle's Contents/_CodeSignature/CodeResources
};

constexpr uint32_t maximumSignatureBytes = 64 * 1024 * 1024;
constexpr int uniqueBytesPerSlice = 20;

// `checkpoint` runs between chunks of code read and may throw to stop the check.
CodeSignatureCheck check(const ByteSource& executable, const SealedFiles& sealed,
                         const std::function<void()>& checkpoint = {});

} // namespace CodeSignature
} // namespace lunorvale
