#include "core/ai/ProcessDecisionAdvice.h"

#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"
#include "core/common/SafeText.h"

#include <QJsonDocument>
#include <QStringList>

namespace lunorvale {

namespace {

constexpr qsizetype maximumReplyBytes = 2048;
constexpr qsizetype maximumReasonCharacters = 80;

[[noreturn]] void invalidResponse() {
    throw AIServiceError(AIServiceError::Kind::invalidResponse);
}

QString withoutCodeFence(const QString& text) {
    const QString fence = QStringLiteral("```");
    if (!text.endsWith(fence))
        return text;
    const QString jsonOpening = fence + QStringLiteral("json\n");
    const QString plainOpening = fence + QLatin1Char('\n');
    // The opening and the closing fence must not overlap.
    if (text.startsWith(jsonOpening) && text.size() >= jsonOpening.size() + fence.size())
        return text.mid(jsonOpening.size(), text.size() - jsonOpening.size() - fence.size());
    if (text.startsWith(plainOpening) && text.size() >= plainOpening.size() + fence.size())
        return text.mid(plainOpening.size(), text.size() - plainOpening.size() - fence.size());
    return text;
}

} // namespace

QString ProcessDecisionAdvice::rawValue(Decision decision) {
    switch (decision) {
    case Decision::checkProgress:
        return QStringLiteral("check_progress");
    case Decision::keepObserving:
        return QStringLiteral("keep_observing");
    case Decision::considerQuitting:
        return QStringLiteral("consider_quitting");
    }
    return {};
}

std::optional<ProcessDecisionAdvice::Decision>
ProcessDecisionAdvice::decisionFromRawValue(const QString& rawValue) {
    for (const Decision decision :
         {Decision::checkProgress, Decision::keepObserving, Decision::considerQuitting}) {
        if (ProcessDecisionAdvice::rawValue(decision) == rawValue)
            return decision;
    }
    return std::nullopt;
}

QString ProcessDecisionAdvice::title(Decision decision) {
    switch (decision) {
    case Decision::checkProgress:
        return QStringLiteral("先核对任务进度");
    case Decision::keepObserving:
        return QStringLiteral("有进展就继续观察");
    case Decision::considerQuitting:
        return QStringLiteral("确认无进展后，再考虑正常退出");
    }
    return {};
}

QString ProcessDecisionAdvice::instructions() {
    static const QString text =
        QStringList{
            QStringLiteral(
                "你是 Linux 资源观察助手。只根据用户消息中的脱敏资源指标，给普通用户一个简短的下一步建议。"),
            QStringLiteral(
                "只输出 JSON：{\"decision\":\"check_progress\",\"reason\":\"一句简短中文解释\"}。"),
            QStringLiteral("decision 只能是 check_progress、keep_observing、consider_quitting。"),
            QStringLiteral("check_progress 表示先回到所属应用核对进度；证据不足时优先选择它。"),
            QStringLiteral("keep_observing 表示有进展就继续等待，不表示已经确认进程正常。"),
            QStringLiteral(
                "consider_quitting 仅表示确认任务无进展且不再需要时，考虑正常退出，不是要求立即关闭。"),
            QStringLiteral("reason 不超过 80 个中文字符，说明原因或核对什么，不重复罗列全部指标。"),
            QStringLiteral("高 CPU、进程运行时长或累计 CPU 时间不能证明卡死、恶意行为或数据安全。"),
            QStringLiteral(
                "未检查日志、调用栈或实际进度，不得声称已经检查。不要生成命令、链接、Markdown 或工具调用。"),
            QStringLiteral("不要求提供密钥、路径、源码或关闭系统保护，不声称已执行任何操作。"),
        }
            .join(QLatin1Char('\n'));
    return text;
}

ProcessDecisionAdvice ProcessDecisionAdvice::fallback() {
    return {Decision::checkProgress,
            QStringLiteral("回到所属应用查看进度。有进展就继续等待；确认任务不再需要时，再正常退出。")};
}

ProcessDecisionAdvice ProcessDecisionAdvice::parse(const QString& reply) {
    const QString text = withoutCodeFence(AIText::trimmed(reply));
    const QByteArray bytes = text.toUtf8();
    if (bytes.size() > maximumReplyBytes)
        invalidResponse();
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        invalidResponse();
    const std::optional<ProcessDecisionAdvice> decoded = fromJson(document.object());
    if (!decoded)
        invalidResponse();
    const QString reason = AIText::trimmed(decoded->reason);
    if (reason.isEmpty() || AIText::characterCount(reason) > maximumReasonCharacters ||
        AIText::containsControlCharacter(reason))
        invalidResponse();
    // Past the control-character test only unpaired surrogates (from "\ud800" escapes) can be unsafe.
    const QString kept = SafeText::withoutUnsafeCharacters(reason);
    if (AIText::trimmed(kept).isEmpty())
        invalidResponse();
    return {decoded->decision, AIText::trimmed(kept)};
}

QJsonObject ProcessDecisionAdvice::toJson() const {
    return QJsonObject{{QStringLiteral("decision"), rawValue(decision)}, {QStringLiteral("reason"), reason}};
}

std::optional<ProcessDecisionAdvice> ProcessDecisionAdvice::fromJson(const QJsonObject& object) {
    const QJsonValue decision = object.value(QStringLiteral("decision"));
    const QJsonValue reason = object.value(QStringLiteral("reason"));
    if (!decision.isString() || !reason.isString())
        return std::nullopt;
    const std::optional<Decision> parsed = decisionFromRawValue(decision.toString());
    if (!parsed)
        return std::nullopt;
    return ProcessDecisionAdvice{*parsed, reason.toString()};
}

} // namespace lunorvale
