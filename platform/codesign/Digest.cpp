#include "platform/codesign/Digest.h"

#include <openssl/evp.h>
#include <stdexcept>

namespace lunorvale {

struct Digest::Context {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    const EVP_MD* algorithm = nullptr;
    ~Context() { EVP_MD_CTX_free(context); }
    void start() {
        if (context == nullptr || EVP_DigestInit_ex(context, algorithm, nullptr) != 1)
            throw std::bad_alloc();
    }
};

Digest::Digest(Kind kind) : m_kind(kind), m_context(std::make_unique<Context>()) {
    switch (kind) {
    case Kind::sha1:
        m_context->algorithm = EVP_sha1();
        break;
    case Kind::sha384:
        m_context->algorithm = EVP_sha384();
        break;
    case Kind::sha256:
    case Kind::sha256Truncated:
        m_context->algorithm = EVP_sha256();
        break;
    }
    m_context->start();
}

Digest::~Digest() = default;

std::optional<Digest::Kind> Digest::fromType(uint8_t type) {
    if (type < 1 || type > 4)
        return std::nullopt;
    return static_cast<Kind>(type);
}

int Digest::slotBytes(Kind kind) {
    switch (kind) {
    case Kind::sha1:
    case Kind::sha256Truncated:
        return 20;
    case Kind::sha256:
        return 32;
    case Kind::sha384:
        return 48;
    }
    return 0;
}

QByteArray Digest::of(Kind kind, const char* data, qsizetype size) {
    Digest digest(kind);
    digest.add(data, size);
    return digest.result();
}

void Digest::add(const char* data, qsizetype size) {
    EVP_DigestUpdate(m_context->context, data, static_cast<size_t>(size));
}

QByteArray Digest::result() {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->context, value, &length);
    m_context->start();
    return QByteArray(reinterpret_cast<const char*>(value), static_cast<qsizetype>(length))
        .left(slotBytes(m_kind));
}

} // namespace lunorvale
