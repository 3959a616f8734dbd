#include "app/advice/AIStatus.h"

#include "core/ai/AIChatExchange.h"
#include "core/ai/AIServiceError.h"
#include "core/ai/AIServicePreset.h"
#include "core/ai/AIText.h"
#include "core/ai/KeychainStore.h"

#include <optional>

namespace lunorvale {

namespace {

std::optional<QUrl> validated(const AIConfiguration& configuration) {
    try {
        return configuration.validatedBaseURL();
    } catch (const AIServiceError&) {
        return std::nullopt;
    }
}

AIStatus::State derive(const AIConfiguration& configuration, AIKeyStatus key, bool automaticEnabled) {
    using State = AIStatus::State;
    const std::optional<QUrl> url = validated(configuration);
    if (!url)
        return State::unconfigured;
    const QString model = AIText::trimmed(configuration.model);
    if (model.isEmpty() || AIText::characterCount(model) > AIChatExchange::maximumModelCharacters ||
        AIText::containsControlCharacter(model))
        return State::unconfigured;
    switch (key) {
    case AIKeyStatus::missing:
    case AIKeyStatus::unavailable:
    case AIKeyStatus::noKeyring:
        // A service on this machine needs no key, so one that cannot be read (no Secret Service)
        // leaves it as usable as one that was never saved.
        if (configuration.isLocalService())
            break;
        if (key == AIKeyStatus::noKeyring)
            return State::noKeyring;
        return key == AIKeyStatus::missing ? State::missingKey : State::keyUnavailable;
    case AIKeyStatus::authorizationRequired:
        return State::needsAuthorization;
    case AIKeyStatus::saved:
    case AIKeyStatus::available:
        break;
    }
    return automaticEnabled ? State::automatic : State::manual;
}

} // namespace

AIStatus::AIStatus(const AIConfiguration& configuration, AIKeyStatus key, bool automaticEnabled,
                   bool isMonitoring)
    : state(derive(configuration, key, automaticEnabled)), configuration(configuration), key(key),
      automaticEnabled(automaticEnabled), isMonitoring(isMonitoring) {}

QString AIStatus::keyLabel() const {
    if (configuration.isLocalService() &&
        (key == AIKeyStatus::missing || key == AIKeyStatus::unavailable || key == AIKeyStatus::noKeyring))
        return QStringLiteral("本机服务可不填");
    switch (key) {
    case AIKeyStatus::missing:
        return QStringLiteral("未保存");
    case AIKeyStatus::saved:
        return QStringLiteral("已保存 · 尚未读取");
    case AIKeyStatus::available:
        return QStringLiteral("已保存 · 本次可用");
    case AIKeyStatus::authorizationRequired:
        return QStringLiteral("等待授权");
    case AIKeyStatus::unavailable:
        return QStringLiteral("暂时无法读取");
    case AIKeyStatus::noKeyring:
        return QStringLiteral("没有找到系统密钥环");
    }
    return {};
}

QString AIStatus::serviceLabel() const {
    if (state == State::unconfigured)
        return QStringLiteral("尚未完成服务配置");
    return AIServicePreset::matching(configuration.baseURL).title() + QStringLiteral(" · ") +
           configuration.model;
}

QString AIStatus::shortTitle() const {
    switch (state) {
    case State::unconfigured:
        return QStringLiteral("AI 未配置");
    case State::missingKey:
        return QStringLiteral("AI 缺密钥");
    case State::needsAuthorization:
        return QStringLiteral("AI 待授权");
    case State::keyUnavailable:
        return QStringLiteral("AI 密钥异常");
    case State::noKeyring:
        return QStringLiteral("AI 缺密钥环");
    case State::automatic:
        return QStringLiteral("AI 自动已开启");
    case State::manual:
        return QStringLiteral("AI 仅手动");
    }
    return {};
}

QString AIStatus::longTitle() const {
    switch (state) {
    case State::unconfigured:
        return QStringLiteral("AI 未配置");
    case State::missingKey:
        return QStringLiteral("AI 缺少密钥");
    case State::needsAuthorization:
        return QStringLiteral("AI 等待密钥授权");
    case State::keyUnavailable:
        return QStringLiteral("AI 密钥暂不可用");
    case State::noKeyring:
        return QStringLiteral("AI 没有找到系统密钥环");
    case State::automatic:
        return QStringLiteral("AI 自动建议已开启");
    case State::manual:
        return QStringLiteral("AI 仅手动分析");
    }
    return {};
}

QString AIStatus::explanation() const {
    switch (state) {
    case State::unconfigured:
        return QStringLiteral("填写服务、模型和所需密钥后保存。本地建议始终可用。");
    case State::missingKey:
        return QStringLiteral("配置已保存。填入此服务的 API Key 并保存后，才能请求 AI 建议。");
    case State::needsAuthorization:
        return QStringLiteral("配置已保存。点击授权后才能读取密钥；后台不会反复弹窗。");
    case State::keyUnavailable:
        return QStringLiteral("配置已保存，但暂时无法读取密钥。可重试读取，或重新填写并保存。");
    case State::noKeyring:
        // The sentence a request gets in the same case, so that the status says it before a request does.
        return KeychainStore::error(KeychainStore::Status::notAvailable).errorDescription();
    case State::automatic:
        return isMonitoring ? QStringLiteral("遇到持续高占用时自动请求简短建议。")
                            : QStringLiteral("自动建议开关已开启，恢复观察后才会自动分析。");
    case State::manual:
        return QStringLiteral("配置已保存。需要时在任务详情中手动请求 AI 建议。");
    }
    return {};
}

QString AIStatus::toolTip() const {
    return longTitle() + QStringLiteral("。") + explanation() + QStringLiteral(" 点击查看 AI 设置。");
}

QString AIStatus::accessibleName() const {
    return longTitle() + QStringLiteral("，打开 AI 设置");
}

AIStatus::Tone AIStatus::tone() const {
    switch (state) {
    case State::unconfigured:
    case State::manual:
        return Tone::muted;
    case State::missingKey:
    case State::needsAuthorization:
    case State::keyUnavailable:
    case State::noKeyring:
        return Tone::amber;
    case State::automatic:
        return Tone::success;
    }
    return Tone::muted;
}

} // namespace lunorvale
