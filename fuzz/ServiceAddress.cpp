// The AI service address: a canonical address is short enough, has only what is allowed, validates to
// itself and belongs to the same preset as the text it came from; blanks around a text change nothing.

#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIServicePreset.h"
#include "core/ai/AIText.h"
#include "fuzz/support/Fuzz.h"

using namespace lunorvale;
using lunorvale::fuzz::check;

namespace {

std::optional<QString> canonical(const QString& address) {
    try {
        return AIConfiguration{address, QString()}.validatedBaseURLText();
    } catch (const AIServiceError& error) {
        check(error.kind() == AIServiceError::Kind::invalidEndpoint,
              "an address fails only as invalidEndpoint");
        return std::nullopt;
    }
}

} // namespace

namespace lunorvale::fuzz {
std::vector<QByteArray> seeds() {
    return {" \tHTTPS://127.0.0.1:443/v1/ \n",
            "http://[::1]:11434/v1/",
            "https://example.invalid:8443/a%20b/%41",
            "https://ws-1.cn-beijing.maas.aliyuncs.com/compatible-mode/v1",
            "https://例子.invalid/路径",
            "https://user@example.invalid/v1?x#y"};
}
} // namespace lunorvale::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QString> result = canonical(text);
    check(canonical(QStringLiteral(" \n") + text + QStringLiteral("\t ")) == result,
          "blanks around an address change nothing");
    if (!result) {
        check(AIServicePreset::matching(text).kind() == AIServicePreset::Kind::custom,
              "a refused address is a custom one");
        return 0;
    }
    const QString& address = *result;
    check(address.size() <= 2048, "a canonical address has at most 2,048 characters");
    check(canonical(address) == address, "a canonical address validates to itself");
    check(AIServicePreset::matching(address) == AIServicePreset::matching(text),
          "an address and its canonical form belong to one preset");
    const QString host = AIText::hostAsWritten(address).toString();
    check(address.startsWith(QStringLiteral("https://")) ||
              (address.startsWith(QStringLiteral("http://")) && AIText::isLoopbackHost(host)),
          "plain HTTP only to this machine");
    check(host == host.toLower() && !host.isEmpty(), "the host is present and in lower case");
    check(!address.endsWith(u'/') && !address.contains(u'?') && !address.contains(u'#') &&
              !AIText::authorityAsWritten(address).contains(u'@'),
          "no trailing slash, query, fragment or user part");
    for (const QChar c : address)
        check(c.unicode() > 0x20 && c.unicode() < 0x7F, "a canonical address is printable ASCII");
    return 0;
}
