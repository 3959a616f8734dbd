#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIServicePreset.h"
#include "core/ai/AIText.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Preset = AIServicePreset::Kind;

namespace {

QString canonical(const QString& address) {
    return AIConfiguration{address, QString()}.validatedBaseURLText();
}

bool refused(const QString& address) {
    try {
        canonical(address);
        return false;
    } catch (const AIServiceError& error) {
        return error.kind() == AIServiceError::Kind::invalidEndpoint;
    }
}

} // namespace

TEST(AIConfiguration, CanonicalFormsOfTheExamples) {
    const QList<QPair<QString, QString>> cases{
        {" \tHTTPS://127.0.0.1:443/v1/ \n", "https://127.0.0.1/v1"},
        {"http://LOCALHOST:11434/v1//", "http://localhost:11434/v1"},
        {"http://127.0.0.1:80", "http://127.0.0.1"},
        {"https://API.Example.invalid/", "https://api.example.invalid"},
        {"http://[::1]:11434/v1/", "http://[::1]:11434/v1"},
        {"HTTP://LocalHost:11434/V1", "http://localhost:11434/V1"},
        {"https://example.invalid:8443/a%20b/C", "https://example.invalid:8443/a%20b/C"},
        {"https://example.invalid/v1?", "refused"},
    };
    for (const auto& [input, expected] : cases) {
        if (expected == "refused")
            EXPECT_TRUE(refused(input)) << input.toStdString();
        else
            EXPECT_EQ(canonical(input), expected) << input.toStdString();
    }
}

TEST(AIConfiguration, RefusesEveryInvalidForm) {
    for (const QString address :
         {"", "   ", "http://example.invalid/v1", "http://192.168.1.10:11434/v1", "ftp://localhost/v1",
          "https://example.invalid/v1?x=1", "https://example.invalid/v1?", "https://example.invalid/v1#",
          "https://example.invalid/v1#top", "https://localhost:0/v1", "https://localhost:65536/v1",
          "https://user@example.invalid", "https://user:pw@example.invalid", "https://@example.invalid",
          "https:///v1", "example.invalid/v1", "localhost:11434", "not a url", "https://exa mple.invalid"}) {
        EXPECT_TRUE(refused(address)) << address.toStdString();
    }
}

TEST(AIConfiguration, LengthLimitCountsCharactersAfterTrimming) {
    const QString head = QStringLiteral("https://example.invalid/");
    const QString exact = head + QString(2048 - head.size(), QLatin1Char('a'));
    EXPECT_EQ(canonical(QStringLiteral("  ") + exact + QStringLiteral("  ")), exact);
    EXPECT_TRUE(refused(exact + QLatin1Char('a')));
    // 2,048 user-perceived characters of which many are multi-byte still pass the length rule.
    const QString wide = head + QString(2048 - head.size(), QChar(0x00E9));
    EXPECT_FALSE(refused(wide));
}

TEST(AIConfiguration, JsonNeedsBothTextKeys) {
    const AIConfiguration configuration{QStringLiteral(" https://x.invalid "), QStringLiteral("m ")};
    EXPECT_EQ(AIConfiguration::fromJson(configuration.toJson()), configuration);
    EXPECT_FALSE(AIConfiguration::fromJson(QByteArray(R"({"baseURL":"https://x.invalid"})")));
    EXPECT_FALSE(AIConfiguration::fromJson(QByteArray(R"({"baseURL":"https://x.invalid","model":3})")));
    EXPECT_FALSE(AIConfiguration::fromJson(QByteArray("[]")));
    EXPECT_NE((AIConfiguration{"https://x.invalid", "m"}), (AIConfiguration{"https://x.invalid/", "m"}));
}

TEST(AIServicePreset, EveryPresetAddressIsCanonicalAndMatchesItself) {
    ASSERT_EQ(AIServicePreset::allCases().size(), 6);
    for (const AIServicePreset preset : AIServicePreset::allCases()) {
        EXPECT_EQ(AIServicePreset::fromRawValue(preset.rawValue()), preset);
        EXPECT_EQ(preset.id(), preset.rawValue());
        if (preset.kind() == Preset::custom) {
            EXPECT_TRUE(preset.baseURL().isEmpty());
            EXPECT_FALSE(preset.documentationURL());
            EXPECT_EQ(AIServicePreset::matching(preset.baseURL()), preset);
            continue;
        }
        EXPECT_EQ(canonical(preset.baseURL()), preset.baseURL());
        EXPECT_EQ(AIServicePreset::matching(preset.baseURL()), preset) << preset.rawValue().toStdString();
        EXPECT_EQ(AIServicePreset::matching(preset.baseURL() + "/"), preset);
        EXPECT_TRUE(preset.documentationURL());
    }
    EXPECT_FALSE(AIServicePreset::fromRawValue(QStringLiteral("OpenAI")));
    EXPECT_EQ(AIServicePreset(Preset::ollama).baseURL(), QStringLiteral("http://localhost:11434/v1"));
}

TEST(AIServicePreset, Matching) {
    const QString beijing = QStringLiteral(".cn-beijing.maas.aliyuncs.com/compatible-mode/v1");
    const QString singapore = QStringLiteral(".ap-southeast-1.maas.aliyuncs.com/compatible-mode/v1");
    const QList<QPair<QString, Preset>> cases{
        {"http://[::1]:11434/v1/", Preset::ollama},
        {"http://[::1]:11434/v1", Preset::ollama},
        {"http://127.0.0.1:11434/v1", Preset::ollama},
        {"https://[::1]:11434/v1", Preset::custom},
        {"https://localhost:11434/v1", Preset::custom},
        {"HTTP://LocalHost:11434/V1", Preset::custom},
        {"http://localhost/v1", Preset::custom},
        {"http://localhost:11435/v1", Preset::custom},
        {"https://API.OPENAI.COM:443/v1/", Preset::openAI},
        {"https://ws-1" + beijing, Preset::aliyunBeijing},
        {"https://WS1" + beijing, Preset::aliyunBeijing},
        {"https://ws1" + singapore, Preset::aliyunSingapore},
        {"https://a.b" + beijing, Preset::custom},
        {"https://a_b" + beijing, Preset::custom},
        {"https://" + beijing.mid(1), Preset::custom},
        {"https://ws1" + beijing + "/", Preset::aliyunBeijing},
        {"https://ws1.cn-beijing.maas.aliyuncs.com:8443/compatible-mode/v1", Preset::custom},
        {"", Preset::custom},
        {"http://example.invalid/v1", Preset::custom},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(AIServicePreset::matching(address), AIServicePreset(expected)) << address.toStdString();
}

TEST(AIServiceError, SentencesAndEquality) {
    EXPECT_EQ(AIServiceError::rejected(404).errorDescription(),
              QStringLiteral("AI 服务拒绝了请求（HTTP 404），请检查服务地址、模型和接口兼容性。"));
    EXPECT_EQ(AIServiceError::keychain(-25293).errorDescription(),
              QStringLiteral("暂时无法访问系统钥匙串（-25293），请稍后在设置中重试。"));
    EXPECT_EQ(AIServiceError(AIServiceError::Kind::invalidEndpoint).errorDescription(),
              QStringLiteral("服务地址无效。请使用 HTTPS；只有 localhost、127.0.0.1 或 ::1 可使用 "
                             "HTTP。地址不能包含账号、查询参数或片段。"));
    EXPECT_EQ(AIServiceError(AIServiceError::Kind::redirected).errorDescription(),
              QStringLiteral(
                  "服务地址返回了重定向。为避免泄露 API Key，已停止请求；请填写服务商提供的最终 API 地址。"));
    EXPECT_EQ(AIServiceError(AIServiceError::Kind::keychainAuthorizationRequired).errorDescription(),
              QStringLiteral("密钥需要授权读取。请在设置中点击“授权读取密钥”；本地处理建议仍可使用。"));
    EXPECT_EQ(AIServiceError::rejected(400), AIServiceError::rejected(400));
    EXPECT_FALSE(AIServiceError::rejected(400) == AIServiceError::rejected(404));
    EXPECT_FALSE(AIServiceError(AIServiceError::Kind::timedOut) ==
                 AIServiceError(AIServiceError::Kind::networkUnavailable));
    EXPECT_STREQ(AIServiceError(AIServiceError::Kind::timedOut).what(),
                 "AI 服务请求超时，请检查服务地址和网络后重试。");
}

TEST(AIText, TrimmingCountingAndControlCharacters) {
    EXPECT_EQ(AIText::trimmed(QStringLiteral("\u3000\u00A0\t key \u0085\u2028\n")), QStringLiteral("key"));
    EXPECT_EQ(AIText::trimmed(QStringLiteral("a b")), QStringLiteral("a b"));
    // A flag, a family emoji and a combining sequence are one character each.
    EXPECT_EQ(AIText::characterCount(QStringLiteral("🇨🇳👨‍👩‍👧e\u0301")), 3);
    EXPECT_EQ(AIText::characterCount(QString()), 0);
    EXPECT_TRUE(AIText::containsControlCharacter(QStringLiteral("a\u200Bb"))); // Cf
    EXPECT_TRUE(AIText::containsControlCharacter(QStringLiteral("key\n")));
    EXPECT_TRUE(AIText::containsControlCharacter(QString::fromUcs4(U"\U000E0001")));
    EXPECT_FALSE(AIText::containsControlCharacter(QStringLiteral("sk-密钥 abc")));
    EXPECT_TRUE(AIText::isLoopbackHost(QStringLiteral("LOCALHOST")));
    EXPECT_TRUE(AIText::isLoopbackHost(QStringLiteral("[::1]")));
    EXPECT_FALSE(AIText::isLoopbackHost(QStringLiteral("127.0.0.2")));
}
