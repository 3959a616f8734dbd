#include "platform/update/UpdateConfiguration.h"

#include "core/common/SafeText.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

[[noreturn]] void invalid(const QString& reason) {
    throw UpdateError::make(UpdateError::configurationInvalid, QStringLiteral("更新配置无效：") + reason, {},
                            QStringLiteral("请从官网重新下载岚栖。"));
}

} // namespace

QString UpdateConfiguration::pathBeside(const QString& programPath) {
    return QFileInfo(programPath).absolutePath() + u'/' + QString::fromLatin1(fileName);
}

bool UpdateConfiguration::isAllowedAddress(const QUrl& url) {
    if (!url.isValid() || url.isRelative() || url.host().isEmpty() || !url.userInfo().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    const QString host = url.host().toLower();
    return url.scheme() == QLatin1String("http") &&
           (host == QLatin1String("127.0.0.1") || host == QLatin1String("localhost") ||
            host == QLatin1String("::1"));
}

UpdateConfiguration UpdateConfiguration::read(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        throw UpdateError::make(UpdateError::configurationInvalid,
                                QStringLiteral("更新配置不存在：") + SafeText::verbatim(path), {},
                                QStringLiteral("请从官网重新下载岚栖。"));
    const QByteArray bytes = file.read(maximumFileBytes + 1);
    if (bytes.size() > maximumFileBytes)
        invalid(QStringLiteral("文件过大。"));
    return parse(bytes);
}

UpdateConfiguration UpdateConfiguration::parse(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        invalid(QStringLiteral("不是 JSON 对象。"));
    const QJsonObject object = document.object();

    UpdateConfiguration configuration;
    configuration.feedURL = QUrl(object.value(QLatin1String("feedURL")).toString(), QUrl::StrictMode);
    if (!isAllowedAddress(configuration.feedURL))
        invalid(QStringLiteral("更新源地址必须是 https 地址。"));

    const auto key =
        QByteArray::fromBase64Encoding(object.value(QLatin1String("publicEDKey")).toString().toLatin1(),
                                       QByteArray::AbortOnBase64DecodingErrors);
    if (!key || key.decoded.size() != 32)
        invalid(QStringLiteral("签名公钥必须是 32 字节的 Ed25519 公钥（base64）。"));
    configuration.publicKey = key.decoded;

    const QJsonValue interval = object.value(QLatin1String("checkInterval"));
    if (!interval.isUndefined()) {
        if (!interval.isDouble() || !std::isfinite(interval.toDouble()))
            invalid(QStringLiteral("检查间隔必须是秒数。"));
        const double seconds = std::clamp(interval.toDouble(), double(shortestCheckInterval.count()),
                                          double(longestCheckInterval.count()));
        configuration.checkInterval = std::chrono::seconds(static_cast<qint64>(seconds));
    }
    return configuration;
}

} // namespace lunorvale
