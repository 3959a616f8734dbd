#include "core/ai/AIServicePreset.h"

#include "core/ai/AIConfiguration.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"

namespace lunorvale {

namespace {

// Workspace hosts that the Bailian console hands out per region: "<workspace>.<suffix>".
const QString beijingWorkspaceSuffix = QStringLiteral(".cn-beijing.maas.aliyuncs.com");
const QString singaporeWorkspaceSuffix = QStringLiteral(".ap-southeast-1.maas.aliyuncs.com");

bool isWorkspaceHost(const QString& host, const QString& suffix) {
    if (!host.endsWith(suffix))
        return false;
    const QString label = host.left(host.size() - suffix.size());
    if (label.isEmpty())
        return false;
    for (const QChar c : label) {
        const char16_t u = c.unicode();
        if (!((u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-'))
            return false;
    }
    return true;
}

} // namespace

const QList<AIServicePreset>& AIServicePreset::allCases() {
    static const QList<AIServicePreset> cases{Kind::deepSeek,        Kind::openAI, Kind::aliyunBeijing,
                                              Kind::aliyunSingapore, Kind::ollama, Kind::custom};
    return cases;
}

std::optional<AIServicePreset> AIServicePreset::fromRawValue(const QString& rawValue) {
    for (const AIServicePreset preset : allCases()) {
        if (preset.rawValue() == rawValue)
            return preset;
    }
    return std::nullopt;
}

QString AIServicePreset::rawValue() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return QStringLiteral("deepSeek");
    case Kind::openAI:
        return QStringLiteral("openAI");
    case Kind::aliyunBeijing:
        return QStringLiteral("aliyunBeijing");
    case Kind::aliyunSingapore:
        return QStringLiteral("aliyunSingapore");
    case Kind::ollama:
        return QStringLiteral("ollama");
    case Kind::custom:
        return QStringLiteral("custom");
    }
    return {};
}

QString AIServicePreset::title() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return QStringLiteral("DeepSeek");
    case Kind::openAI:
        return QStringLiteral("OpenAI · GPT");
    case Kind::aliyunBeijing:
        return QStringLiteral("阿里云百炼 · 北京");
    case Kind::aliyunSingapore:
        return QStringLiteral("阿里云百炼 · 新加坡");
    case Kind::ollama:
        return QStringLiteral("Ollama · 本机");
    case Kind::custom:
        return QStringLiteral("自定义");
    }
    return {};
}

QString AIServicePreset::baseURL() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return QStringLiteral("https://api.deepseek.com");
    case Kind::openAI:
        return QStringLiteral("https://api.openai.com/v1");
    case Kind::aliyunBeijing:
        return QStringLiteral("https://dashscope.aliyuncs.com/compatible-mode/v1");
    case Kind::aliyunSingapore:
        return QStringLiteral("https://dashscope-intl.aliyuncs.com/compatible-mode/v1");
    case Kind::ollama:
        return QStringLiteral("http://localhost:11434/v1");
    case Kind::custom:
        return {};
    }
    return {};
}

QStringList AIServicePreset::models() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return {QStringLiteral("deepseek-v4-flash"), QStringLiteral("deepseek-v4-pro")};
    case Kind::openAI:
        return {QStringLiteral("gpt-5.6-luna"), QStringLiteral("gpt-5.6-terra"),
                QStringLiteral("gpt-4.1-mini")};
    case Kind::aliyunBeijing:
    case Kind::aliyunSingapore:
        return {QStringLiteral("qwen3.8-flash"), QStringLiteral("qwen3.7-plus"),
                QStringLiteral("qwen3.8-max")};
    case Kind::ollama:
    case Kind::custom:
        return {};
    }
    return {};
}

QString AIServicePreset::hint() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return QStringLiteral("需使用 DeepSeek 开放平台的 API Key。");
    case Kind::openAI:
        return QStringLiteral("需使用 OpenAI 开放平台的 API Key。");
    case Kind::aliyunBeijing:
    case Kind::aliyunSingapore:
        return QStringLiteral("密钥须与地域一致；地址可替换为控制台提供的业务空间地址。");
    case Kind::ollama:
        return QStringLiteral("填写本机已安装的模型名；岚栖不会安装或启动模型。");
    case Kind::custom:
        return QStringLiteral("填写兼容 Chat Completions 的地址和模型 ID。");
    }
    return {};
}

std::optional<QUrl> AIServicePreset::documentationURL() const {
    switch (m_kind) {
    case Kind::deepSeek:
        return QUrl(QStringLiteral("https://api-docs.deepseek.com/"));
    case Kind::openAI:
        return QUrl(QStringLiteral("https://developers.openai.com/api/docs/models"));
    case Kind::aliyunBeijing:
    case Kind::aliyunSingapore:
        return QUrl(
            QStringLiteral("https://help.aliyun.com/zh/model-studio/compatibility-of-openai-with-dashscope"));
    case Kind::ollama:
        return QUrl(QStringLiteral("https://docs.ollama.com/api/openai-compatibility"));
    case Kind::custom:
        return std::nullopt;
    }
    return std::nullopt;
}

AIServicePreset AIServicePreset::matching(const QString& baseURL) {
    QUrl url;
    QString text;
    try {
        const AIConfiguration configuration{baseURL, QString()};
        text = configuration.validatedBaseURLText();
        url = QUrl(text, QUrl::StrictMode);
    } catch (const AIServiceError&) {
        return Kind::custom;
    }
    for (const AIServicePreset preset : allCases()) {
        if (preset.kind() != Kind::custom && preset.baseURL() == text)
            return preset;
    }
    // The canonical text keeps the host and the path as typed, escapes included.
    const QStringView path = AIText::pathAsWritten(text);
    const QString host = AIText::hostAsWritten(text).toString();
    if (url.scheme() == QLatin1String("http") && url.port() == 11434 && path == u"/v1" &&
        AIText::isLoopbackHost(host))
        return Kind::ollama;
    if (url.scheme() == QLatin1String("https") && url.port() == -1 && path == u"/compatible-mode/v1" &&
        !host.isEmpty()) {
        if (isWorkspaceHost(host, beijingWorkspaceSuffix))
            return Kind::aliyunBeijing;
        if (isWorkspaceHost(host, singaporeWorkspaceSuffix))
            return Kind::aliyunSingapore;
    }
    return Kind::custom;
}

} // namespace lunorvale
