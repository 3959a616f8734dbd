#include "platform/codesign/CmsSignature.h"

#include <memory>
#include <openssl/cms.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

namespace lunorvale::CmsSignature {
namespace {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* pointer) const { Free(pointer); }
};
using Cms = std::unique_ptr<CMS_ContentInfo, Deleter<CMS_ContentInfo_free>>;
using BioChain = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Store = std::unique_ptr<X509_STORE, Deleter<X509_STORE_free>>;
using StoreContext = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX_free>>;

struct CertificatesFree {
    void operator()(STACK_OF(X509) * certificates) const { sk_X509_pop_free(certificates, X509_free); }
};
struct StackFree {
    void operator()(STACK_OF(X509) * certificates) const { sk_X509_free(certificates); }
};

std::optional<QByteArray> verify(const QByteArray& der, const QByteArray& content) {
    const auto* cursor = reinterpret_cast<const unsigned char*>(der.constData());
    const Cms cms(d2i_CMS_ContentInfo(nullptr, &cursor, der.size()));
    if (!cms || cursor != reinterpret_cast<const unsigned char*>(der.constData()) + der.size() ||
        OBJ_obj2nid(CMS_get0_type(cms.get())) != NID_pkcs7_signed || CMS_is_detached(cms.get()) != 1)
        return std::nullopt;
    // CMS_verify copies content given as a memory BIO into one of its own, which OpenSSL 3.0 never frees
    // when the signature names a digest it cannot compute: a pass-through filter in front keeps it reading
    // ours.
    const BioChain data(BIO_new(BIO_f_null()));
    BIO* memory = BIO_new_mem_buf(content.constData(), static_cast<int>(content.size()));
    if (!data || !memory) {
        BIO_free(memory);
        return std::nullopt;
    }
    BIO_push(data.get(), memory);
    // The chain is checked below, against roots taken from the signature itself.
    if (CMS_verify(cms.get(), nullptr, nullptr, data.get(), nullptr,
                   CMS_BINARY | CMS_NO_SIGNER_CERT_VERIFY) != 1)
        return std::nullopt;
    const std::unique_ptr<STACK_OF(X509), StackFree> signers(CMS_get0_signers(cms.get()));
    const std::unique_ptr<STACK_OF(X509), CertificatesFree> certificates(CMS_get1_certs(cms.get()));
    if (!signers || sk_X509_num(signers.get()) != 1 || !certificates)
        return std::nullopt;

    const Store store(X509_STORE_new());
    if (!store)
        return std::nullopt;
    for (int index = 0; index < sk_X509_num(certificates.get()); ++index) {
        X509* certificate = sk_X509_value(certificates.get(), index);
        if (X509_check_issued(certificate, certificate) == X509_V_OK)
            X509_STORE_add_cert(store.get(), certificate);
    }
    const StoreContext context(X509_STORE_CTX_new());
    if (!context || X509_STORE_CTX_init(context.get(), store.get(), sk_X509_value(signers.get(), 0),
                                        certificates.get()) != 1)
        return std::nullopt;
    X509_VERIFY_PARAM_set_flags(X509_STORE_CTX_get0_param(context.get()),
                                X509_V_FLAG_NO_CHECK_TIME | X509_V_FLAG_CHECK_SS_SIGNATURE);
    if (X509_verify_cert(context.get()) != 1)
        return std::nullopt;
    STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context.get());
    if (chain == nullptr || sk_X509_num(chain) < 1)
        return std::nullopt;
    unsigned char fingerprint[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(sk_X509_value(chain, sk_X509_num(chain) - 1), EVP_sha256(), fingerprint, &length) != 1)
        return std::nullopt;
    return QByteArray(reinterpret_cast<const char*>(fingerprint), static_cast<qsizetype>(length));
}

} // namespace

std::optional<QByteArray> verifiedRoot(const QByteArray& der, const QByteArray& content) {
    std::optional<QByteArray> root = verify(der, content);
    // Failures leave entries in this thread's OpenSSL error queue; nothing else reads them.
    ERR_clear_error();
    return root;
}

} // namespace lunorvale::CmsSignature
