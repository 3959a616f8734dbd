#include "core/ai/AIServiceError.h"

#include "core/ai/KeychainStore.h"

namespace lunorvale {

namespace {
constexpr qsizetype reasonLimit = 160;
}

AIServiceError::AIServiceError(Kind kind) : AIServiceError(kind, 0) {}

AIServiceError::AIServiceError(Kind kind, int payload) : m_kind(kind), m_payload(payload) {
    m_utf8 = errorDescription().toUtf8();
}

AIServiceError AIServiceError::rejected(int httpStatus) {
    return AIServiceError(Kind::rejected, httpStatus);
}

AIServiceError AIServiceError::keychain(qint32 keychainStatus, const QString& reason) {
    AIServiceError error(Kind::keychain, keychainStatus);
    QString line = reason.simplified();
    line.removeIf([](QChar c) { return c.category() == QChar::Other_Control; });
    error.m_reason = line.size() > reasonLimit ? line.left(reasonLimit - 1) + u'…' : line;
    error.m_utf8 = error.errorDescription().toUtf8();
    return error;
}

QString AIServiceError::errorDescription() const {
    switch (m_kind) {
    case Kind::rejected:
        return QStringLiteral("AI 服务拒绝了请求（HTTP ") + QString::number(m_payload) +
               QStringLiteral("），请检查服务地址、模型和接口兼容性。");
    case Kind::keychain: {
        // Without any keyring on the bus, waiting does not help; a service on this machine works anyway.
        if (m_payload == KeychainStore::Status::notAvailable)
            return QStringLiteral("没有找到系统密钥环。请安装并启用密钥环（如 gnome-keyring 或 KWallet）后，"
                                  "在设置中重试；本机服务无需密钥。");
        const QString reason = m_reason.isEmpty() ? QString() : u'（' + m_reason + u'）';
        return QStringLiteral("暂时无法访问系统密钥环") + reason + QStringLiteral("，请稍后在设置中重试。");
    }
    case Kind::invalidEndpoint:
        return QStringLiteral("服务地址无效。请使用 HTTPS；只有 localhost、127.0.0.1 或 ::1 可使用 "
                              "HTTP。地址不能包含账号、查询参数或片段。");
    case Kind::missingModel:
        return QStringLiteral("请先填写服务商支持的模型名称。");
    case Kind::missingAPIKey:
        return QStringLiteral("此服务地址还没有可用的 API Key，请先在设置中保存密钥。");
    case Kind::invalidSummary:
        return QStringLiteral("诊断摘要为空或过长，请重新选择进程。");
    case Kind::unauthorized:
        return QStringLiteral("AI 服务拒绝了认证，请检查此服务地址对应的 API Key 和访问权限。");
    case Kind::rateLimited:
        return QStringLiteral("AI 服务的额度或调用频率已达到限制，请检查账户额度或稍后重试。");
    case Kind::serverUnavailable:
        return QStringLiteral("AI 服务暂时不可用，请稍后重试。");
    case Kind::modelUnavailable:
        return QStringLiteral("当前服务无法使用这个模型，请检查模型名称和账户权限。");
    case Kind::redirected:
        return QStringLiteral(
            "服务地址返回了重定向。为避免泄露 API Key，已停止请求；请填写服务商提供的最终 API "
            "地址。");
    case Kind::responseTooLarge:
        return QStringLiteral("AI 服务返回内容过大，已停止接收。");
    case Kind::invalidResponse:
        return QStringLiteral("AI 服务未返回有效的文字建议，请检查 Chat Completions 兼容性和模型配置。");
    case Kind::timedOut:
        return QStringLiteral("AI 服务请求超时，请检查服务地址和网络后重试。");
    case Kind::networkUnavailable:
        return QStringLiteral("无法连接 AI 服务，请检查服务地址和网络后重试。");
    case Kind::keychainAuthorizationRequired:
        return QStringLiteral("密钥需要授权读取。请在设置中点击“授权读取密钥”；本地处理建议仍可使用。");
    case Kind::keychainAuthorizationCancelled:
        return QStringLiteral("已取消读取密钥，不会自动再次请求授权。本地处理建议仍可使用。");
    }
    return {};
}

} // namespace lunorvale
