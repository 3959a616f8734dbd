#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIServicePreset.h"
#include "core/ai/AIText.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Preset = AIServicePreset::Kind;

namespace {

// The canonical text, or "refused" for invalidEndpoint.
QString canonical(const QString& address) {
    try {
        return AIConfiguration{address, QString()}.validatedBaseURLText();
    } catch (const AIServiceError& error) {
        return error.kind() == AIServiceError::Kind::invalidEndpoint ? "refused" : "other error";
    }
}

} // namespace

TEST(AIConfiguration, CanonicalFormsAndRefusals) {
    // The length limit holds for the text as typed (characters, after trimming) and for the canonical text
    // that is saved, into which each "é" of a path goes as the six characters "%C3%A9".
    const QString head = QStringLiteral("https://example.invalid/");
    const QString exact = head + QString(2048 - head.size(), QLatin1Char('a'));
    const QString accents = head + QString(337, QChar(0x00E9)) + "aa"; // 24 + 6 × 337 + 2 = 2048
    const QList<QPair<QString, QString>> cases{
        {"  " + exact + "  ", exact},
        {exact + 'a', "refused"},
        {accents, head + QString("%C3%A9").repeated(337) + "aa"},
        {accents + 'a', "refused"},
        {" \tHTTPS://127.0.0.1:443/v1/ \n", "https://127.0.0.1/v1"},
        {"http://LOCALHOST:11434/v1//", "http://localhost:11434/v1"},
        {"http://127.0.0.1:80", "http://127.0.0.1"},
        {"http://[::1]:11434/v1/", "http://[::1]:11434/v1"},
        {"HTTP://LocalHost:11434/V1", "http://localhost:11434/V1"},
        // The path keeps its case and its escapes exactly; the host is taken as typed, not as a parser
        // rewrites it.
        {"https://example.invalid:8443/a%20b/%41%2fC", "https://example.invalid:8443/a%20b/%41%2fC"},
        {"https://2130706433/v1", "https://2130706433/v1"},
        {"http://2130706433:11434/v1", "refused"},
        {"http://127.1/v1", "refused"},
        {"http://[0:0:0:0:0:0:0:1]/v1", "refused"},
        {"", "refused"},
        {"   ", "refused"},
        {"http://example.invalid/v1", "refused"},
        {"http://192.168.1.10:11434/v1", "refused"},
        {"ftp://localhost/v1", "refused"},
        {"https://example.invalid/v1?x=1", "refused"},
        {"https://example.invalid/v1?", "refused"},
        {"https://example.invalid/v1#", "refused"},
        {"https://localhost:0/v1", "refused"},
        {"https://localhost:65536/v1", "refused"},
        {"https://user@example.invalid", "refused"},
        {"https://user:pw@example.invalid", "refused"},
        {"https://@example.invalid", "refused"},
        {"https:///v1", "refused"},
        {"localhost:11434", "refused"},
        {"https://exa mple.invalid", "refused"},
    };
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(canonical(input), expected) << input.left(80).toStdString();
}

TEST(AIConfiguration, JsonNeedsBothTextKeys) {
    const AIConfiguration configuration{QStringLiteral(" https://x.invalid "), QStringLiteral("m ")};
    EXPECT_EQ(AIConfiguration::fromJson(configuration.toJson()), configuration);
    EXPECT_FALSE(AIConfiguration::fromJson(QByteArray(R"({"baseURL":"https://x.invalid"})")));
    EXPECT_FALSE(AIConfiguration::fromJson(QByteArray(R"({"baseURL":"https://x.invalid","model":3})")));
    EXPECT_NE((AIConfiguration{"https://x.invalid", "m"}), (AIConfiguration{"https://x.invalid/", "m"}));
}

TEST(AIServicePreset, EveryPresetAddressIsCanonicalAndMatchesItself) {
    ASSERT_EQ(AIServicePreset::allCases().size(), 6);
    for (const AIServicePreset preset : AIServicePreset::allCases()) {
        EXPECT_EQ(AIServicePreset::fromRawValue(preset.rawValue()), preset);
        EXPECT_EQ(AIServicePreset::matching(preset.baseURL()), preset) << preset.rawValue().toStdString();
        EXPECT_EQ(preset.documentationURL().has_value(), preset.kind() != Preset::custom);
        if (preset.kind() != Preset::custom) {
            EXPECT_EQ(canonical(preset.baseURL()), preset.baseURL());
            EXPECT_EQ(AIServicePreset::matching(preset.baseURL() + "/"), preset);
        }
    }
    EXPECT_FALSE(AIServicePreset::fromRawValue(QStringLiteral("OpenAI")));
}

TEST(AIServicePreset, Matching) {
    const QString beijing = QStringLiteral(".cn-beijing.maas.aliyuncs.com/compatible-mode/v1");
    const QString singapore = QStringLiteral(".ap-southeast-1.maas.aliyuncs.com/compatible-mode/v1");
    const QList<QPair<QString, Preset>> cases{
        {"http://[::1]:11434/v1/", Preset::ollama},
        {"http://127.0.0.1:11434/v1", Preset::ollama},
        {"https://[::1]:11434/v1", Preset::custom},
        {"HTTP://LocalHost:11434/V1", Preset::custom},
        {"http://localhost:11434/%76%31", Preset::custom},
        {"http://localhost/v1", Preset::custom},
        {"http://localhost:11435/v1", Preset::custom},
        {"https://API.OPENAI.COM:443/v1/", Preset::openAI},
        {"https://ws-1" + beijing, Preset::aliyunBeijing},
        {"https://WS1" + beijing + "/", Preset::aliyunBeijing},
        {"https://ws1" + singapore, Preset::aliyunSingapore},
        {"https://a.b" + beijing, Preset::custom},
        {"https://a_b" + beijing, Preset::custom},
        {"https://" + beijing.mid(1), Preset::custom},
        {"https://ws1.cn-beijing.maas.aliyuncs.com:8443/compatible-mode/v1", Preset::custom},
        {"http://example.invalid/v1", Preset::custom},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(AIServicePreset::matching(address), AIServicePreset(expected)) << address.toStdString();
}

TEST(AIServiceError, SentencesAndEquality) {
    using Kind = AIServiceError::Kind;
    const QList<QPair<AIServiceError, QString>> sentences{
        {AIServiceError::rejected(404), "AI 服务拒绝了请求（HTTP 404），请检查服务地址、模型和接口兼容性。"},
        {AIServiceError::keychain(-25293), "暂时无法访问系统密钥环，请稍后在设置中重试。"},
        // No keyring on the bus at all: waiting would not help, and that is the whole reason.
        {AIServiceError::keychain(-25291, "会话中没有密钥环"),
         "没有找到系统密钥环。请安装并启用密钥环（如 "
         "gnome-keyring 或 KWallet）后，在设置中重试；本机服务无需密钥。"},
        {AIServiceError::keychain(-25291), "没有找到系统密钥环。请安装并启用密钥环（如 gnome-keyring 或 "
                                           "KWallet）后，在设置中重试；本机服务无需密钥。"},
        {AIServiceError::keychain(-26276, QString(200, u'x')),
         "暂时无法访问系统密钥环（" + QString(159, u'x') + "…），请稍后在设置中重试。"},
        {AIServiceError(Kind::invalidEndpoint), "服务地址无效。请使用 HTTPS；只有 localhost、127.0.0.1 或 "
                                                "::1 可使用 HTTP。地址不能包含账号、查询参数或片段。"},
        {AIServiceError(Kind::redirected),
         "服务地址返回了重定向。为避免泄露 API Key，已停止请求；请填写服务商提供的最终 API 地址。"},
        {AIServiceError(Kind::keychainAuthorizationRequired),
         "密钥需要授权读取。请在设置中点击“授权读取密钥”；本地处理建议仍可使用。"},
    };
    for (const auto& [error, sentence] : sentences)
        EXPECT_EQ(error.errorDescription(), sentence);
    EXPECT_EQ(AIServiceError::rejected(400), AIServiceError::rejected(400));
    EXPECT_FALSE(AIServiceError::rejected(400) == AIServiceError::rejected(404));
    EXPECT_FALSE(AIServiceError(Kind::timedOut) == AIServiceError(Kind::networkUnavailable));
}

TEST(AIText, TrimmingCountingAndControlCharacters) {
    EXPECT_EQ(AIText::trimmed(QStringLiteral("\u3000\u00A0\t key \u0085\u2028\n")), QStringLiteral("key"));
    // A flag, a family emoji and a combining sequence are one character each.
    EXPECT_EQ(AIText::characterCount(QStringLiteral("🇨🇳👨‍👩‍👧e\u0301")), 3);
    EXPECT_TRUE(AIText::containsControlCharacter(QStringLiteral("a\u200Bb"))); // Cf
    EXPECT_TRUE(AIText::containsControlCharacter(QString::fromUcs4(U"\U000E0001")));
    EXPECT_FALSE(AIText::containsControlCharacter(QStringLiteral("sk-密钥 abc")));
    EXPECT_EQ(AIText::hostAsWritten(u"https://u:p@[::1]:9/x?y"), u"[::1]");
    EXPECT_EQ(AIText::pathAsWritten(u"https://H:9/A%2f?q#f"), u"/A%2f");
}
