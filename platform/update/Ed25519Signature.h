#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace lunorvale::Ed25519Signature {

inline constexpr qsizetype publicKeyBytes = 32;
inline constexpr qsizetype signatureBytes = 64;

// Whether `signature` (64 raw bytes) is a valid Ed25519 signature of `message` under `publicKey`
// (32 raw bytes). Keys and signatures of any other length are refused, never read.
bool verify(QByteArrayView publicKey, QByteArrayView signature, QByteArrayView message);

// The raw signature in `base64`, or an empty array unless it decodes strictly to 64 bytes.
QByteArray decodeSignature(const QString& base64);

} // namespace lunorvale::Ed25519Signature
