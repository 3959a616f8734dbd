#include "core/ai/AIConfiguration.h"

#include "core/ai/AIServiceError.h"
#include "core/ai/AIText.h"

#include <QJsonDocument>
#include <algorithm>

namespace lunorvale {

namespace {

constexpr qsizetype maximumAddressCharacters = 2048;

[[noreturn]] void invalid() {
    throw AIServiceError(AIServiceError::Kind::invalidEndpoint);
}

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
}

// QUrl checks the address, but the canonical form is built from the host and path as typed: QUrl would
// turn "127.1" or "2130706433" into a loopback address, "%41" into "A" and "%2f" into "%2F". Only text
// that is not ASCII takes QUrl's encoded form (punycode, percent escapes).
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
    const QStringView writtenHost = AIText::hostAsWritten(text);
    if (writtenHost.isEmpty() || url.host().isEmpty())
        invalid();
    // QUrl forgets an empty user part ("https://@host"), so the authority is looked at as typed.
    if (AIText::authorityAsWritten(text).contains(u'@') || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        invalid();
    const QString host =
        isAscii(writtenHost) ? writtenHost.toString().toLower() : url.host(QUrl::FullyEncoded).toLower();
    const bool secure = scheme == QLatin1String("https");
    if (!secure && !(scheme == QLatin1String("http") && AIText::isLoopbackHost(host)))
        invalid();
    int port = url.port();
    if (port != -1 && (port < 1 || port > 65535))
        invalid();
    if ((secure && port == 443) || (!secure && port == 80))
        port = -1;
    const QStringView writtenPath = AIText::pathAsWritten(text);
    QString path = isAscii(writtenPath) ? writtenPath.toString() : url.path(QUrl::FullyEncoded);
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString composed = scheme + QStringLiteral("://") + host;
    if (port != -1)
        composed += QLatin1Char(':') + QString::number(port);
    composed += path;
    // Percent-encoding can take a text that passed the first check past the limit; the canonical text is
    // what gets saved and validated again later, so it must pass too. It is ASCII: one code unit each.
    if (composed.size() > maximumAddressCharacters)
        invalid();
    const QUrl result(composed, QUrl::StrictMode);
    if (!result.isValid() || result.host().isEmpty())
        invalid();
    return composed;
}

} // namespace

QUrl AIConfiguration::validatedBaseURL() const {
    return QUrl(canonicalText(baseURL), QUrl::StrictMode);
}

QString AIConfiguration::validatedBaseURLText() const {
    return canonicalText(baseURL);
}

bool AIConfiguration::isLocalService() const {
    try {
        return AIText::isLoopbackHost(validatedBaseURL().host().toLower());
    } catch (const AIServiceError&) {
        return false;
    }
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
