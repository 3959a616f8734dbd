#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <optional>

namespace lunorvale {

// The hash kinds a code signature names by number.
class Digest final {
public:
    enum class Kind { sha1 = 1, sha256 = 2, sha256Truncated = 3, sha384 = 4 };

    explicit Digest(Kind kind) : m_kind(kind), m_hash(algorithm(kind)) {}

    // The kind a CodeDirectory's hash-type byte names; absent for one this reader does not know.
    static std::optional<Kind> fromType(uint8_t type) {
        if (type < 1 || type > 4)
            return std::nullopt;
        return static_cast<Kind>(type);
    }
    // Bytes of one hash slot of this kind.
    static int slotBytes(Kind kind) {
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
    static QByteArray of(Kind kind, const char* data, qsizetype size) {
        Digest digest(kind);
        digest.add(data, size);
        return digest.result();
    }
    static QByteArray of(Kind kind, const QByteArray& bytes) {
        return of(kind, bytes.constData(), bytes.size());
    }

    void add(const char* data, qsizetype size) { m_hash.addData(QByteArrayView(data, size)); }
    // The slot value (truncated where the kind says so); the digest starts over afterwards.
    QByteArray result() {
        QByteArray value = m_hash.result().left(slotBytes(m_kind));
        m_hash.reset();
        return value;
    }

private:
    static QCryptographicHash::Algorithm algorithm(Kind kind) {
        switch (kind) {
        case Kind::sha1:
            return QCryptographicHash::Sha1;
        case Kind::sha384:
            return QCryptographicHash::Sha384;
        case Kind::sha256:
        case Kind::sha256Truncated:
            break;
        }
        return QCryptographicHash::Sha256;
    }

    Kind m_kind;
    QCryptographicHash m_hash;
};

} // namespace lunorvale
