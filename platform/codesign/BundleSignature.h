#pragma once

#include "platform/codesign/CodeSignature.h"

#include <QString>
#include <functional>

namespace lunorvale {

// Validates an application bundle's code signature on disk, strictly: the main executable named by
// Contents/Info.plist (every slice signed and intact, Info.plist and the resource seal bound by its
// special slots), then the resource seal Contents/_CodeSignature/CodeResources: every file, link and
// nested code below Contents must be listed there and match (file hashes, link targets, nested code's
// unique identifier, itself validated the same way), except what the seal's rules omit; every listed
// item that is not optional must exist. Links are never followed.
//
// "notSigned" means there is no signed Mach-O code to speak of: no readable Info.plist naming an
// executable, an executable that is no regular file, or one that is not signed Mach-O.
namespace BundleSignature {

constexpr int maximumEntries = 250000;
constexpr int maximumNesting = 8;

// `checkpoint` runs before each file and between chunks of large ones; it may throw to stop the check,
// and whatever it throws passes through.
CodeSignatureCheck check(const QString& bundlePath, const std::function<void()>& checkpoint = {});

} // namespace BundleSignature
} // namespace lunorvale
