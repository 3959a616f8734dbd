#include "core/ai/AIConfiguration.h"

#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"

#include <QJsonDocument>

namespace lunorvale {

namespace {

constexpr qsizetype maximumAddressCharacters = 2048;

[[noreturn]] void invalid() {
    throw AIServiceError(AIServiceError::Kind::invalidEndpoint);
}

// QUrl forgets an empty user part ("http://@host"), so the authority is looked at in the text itself.
bool authorityHasUserPart(const QString& text) {
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0)
        return text.contains(QLatin1Char('@'));
    const qsizetype start = schemeEnd + 3;
    qsizetype end = text.size();
    for (const QChar stop : {QLatin1Char('/'), QLatin1Char('?'), QLatin1Char('#')}) {
        const qsizetype at = text.indexOf(stop, start);
        if (at >= 0 && at < end)
            end = at;
    }
    return text.mid(start, end - start).contains(QLatin1Char('@'));
}

QString canonicalText(const QString& baseURL) {
    const QString text = AIText::trimmed(baseURL);
    if (AIText::characterCount(text) > maximumAddressCharacters)
        invalid();
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative())
        invalid();
    const QString scheme = url.scheme().toLower();
    if (scheme.isEmpty())
        invalid();
    const QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.isEmpty())
        invalid();
    if (authorityHasUserPart(text) || !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment())
        invalid();
    const bool secure = scheme == QLatin1String("https");
    if (!secure && !(scheme == QLatin1String("http") && AIText::isLoopbackHost(host)))
        invalid();
    int port = url.port();
    if (port != -1 && (port < 1 || port > 65535))
        invalid();
    if ((secure && port == 443) || (!secure && port == 80))
        port = -1;
    QString path = url.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString composed = scheme + QStringLiteral("://");
    composed += host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    if (port != -1)
        composed += QLatin1Char(':') + QString::number(port);
    composed += path;
    const QUrl result(composed, QUrl::StrictMode);
    if (!result.isValid() || result.host().isEmpty())
        invalid();
    return result.toString(QUrl::FullyEncoded);
}

} // namespace

QUrl AIConfiguration::validatedBaseURL() const {
    return QUrl(canonicalText(baseURL), QUrl::StrictMode);
}

QString AIConfiguration::validatedBaseURLText() const {
    return canonicalText(baseURL);
}

QJsonObject AIConfiguration::toJson() const {
    return QJsonObject{{QStringLiteral("baseURL"), baseURL}, {QStringLiteral("model"), model}};
}

std::optional<AIConfiguration> AIConfiguration::fromJson(const QJsonObject& object) {
    const QJsonValue base = object.value(QStringLiteral("baseURL"));
    const QJsonValue model = object.value(QStringLiteral("model"));
    if (!base.isString() || !model.isString())
        return std::nullopt;
    return AIConfiguration{base.toString(), model.toString()};
}

std::optional<AIConfiguration> AIConfiguration::fromJson(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

} // namespace lunorvale
