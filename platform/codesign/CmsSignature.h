#pragma once

#include <QByteArray>
#include <optional>

namespace lunorvale::CmsSignature {

// Checks a detached CMS (PKCS #7) signature over `content`: exactly one signer, whose signature and
// signed attributes verify, and whose certificate chain, built from the certificates the signature
// carries, ends in one of them that is self-signed. Certificate lifetimes are not checked: a signature
// stays valid after its certificate expires. Returns the SHA-256 of that root certificate (DER), or
// nothing when any of this fails.
std::optional<QByteArray> verifiedRoot(const QByteArray& der, const QByteArray& content);

} // namespace lunorvale::CmsSignature
