#include "platform/update/Ed25519Signature.h"

#include <QString>
#include <memory>
#include <openssl/evp.h>

namespace lunorvale::Ed25519Signature {

bool verify(QByteArrayView publicKey, QByteArrayView signature, QByteArrayView message) {
    if (publicKey.size() != publicKeyBytes || signature.size() != signatureBytes)
        return false;
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char*>(publicKey.data()),
                                    static_cast<size_t>(publicKey.size())),
        &EVP_PKEY_free);
    if (!key)
        return false;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    // Ed25519 signs the message itself, in one pass: no digest is named.
    if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                            static_cast<size_t>(signature.size()),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            static_cast<size_t>(message.size())) == 1;
}

QByteArray decodeSignature(const QString& base64) {
    const auto decoded =
        QByteArray::fromBase64Encoding(base64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == signatureBytes ? decoded.decoded : QByteArray();
}

} // namespace lunorvale::Ed25519Signature
