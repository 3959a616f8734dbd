#include "core/ai/ApplicationAdviceSummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QStringDecoder>

namespace lunorvale {

ApplicationAdviceItem::ApplicationAdviceItem(const InstalledApplication& application,
                                             std::optional<int64_t> bundleBytes, bool running)
    : name(application.name()), bundleIdentifier(application.bundleID()), version(application.version()),
      bundleBytes(bundleBytes), runningInCurrentSnapshot(running),
      removalRestriction(application.restriction()) {}

QJsonObject ApplicationAdviceItem::toJson() const {
    QJsonObject object{
        {QStringLiteral("name"), name},
        {QStringLiteral("bundleIdentifier"), bundleIdentifier},
        {QStringLiteral("version"), version},
        {QStringLiteral("runningInCurrentSnapshot"), runningInCurrentSnapshot},
    };
    if (bundleBytes)
        object.insert(QStringLiteral("bundleBytes"), static_cast<qint64>(*bundleBytes));
    if (removalRestriction)
        object.insert(QStringLiteral("removalRestriction"), *removalRestriction);
    return object;
}

std::optional<ApplicationAdviceItem> ApplicationAdviceItem::fromJson(const QJsonObject& object) {
    const QJsonValue name = object.value(QStringLiteral("name"));
    const QJsonValue identifier = object.value(QStringLiteral("bundleIdentifier"));
    const QJsonValue version = object.value(QStringLiteral("version"));
    const QJsonValue running = object.value(QStringLiteral("runningInCurrentSnapshot"));
    if (!name.isString() || !identifier.isString() || !version.isString() || !running.isBool())
        return std::nullopt;
    ApplicationAdviceItem item;
    item.name = name.toString();
    item.bundleIdentifier = identifier.toString();
    item.version = version.toString();
    item.runningInCurrentSnapshot = running.toBool();
    const QJsonValue bytes = object.value(QStringLiteral("bundleBytes"));
    if (!bytes.isUndefined() && !bytes.isNull()) {
        // Only whole numbers that a signed 64-bit integer holds exactly.
        if (!bytes.isDouble() || bytes.toInteger(0) != bytes.toInteger(1))
            return std::nullopt;
        const qint64 value = bytes.toInteger();
        item.bundleBytes = value;
    }
    const QJsonValue restriction = object.value(QStringLiteral("removalRestriction"));
    if (!restriction.isUndefined() && !restriction.isNull()) {
        if (!restriction.isString())
            return std::nullopt;
        item.removalRestriction = restriction.toString();
    }
    return item;
}

namespace ApplicationAdviceSummary {

QString make(const QList<ApplicationAdviceItem>& items) {
    if (items.size() < 1 || items.size() > maximumApplications)
        throw ApplicationManagementError::blocked(QStringLiteral("每次请选择 1–20 个应用进行分析。"));

    QJsonArray applications;
    for (const ApplicationAdviceItem& item : items)
        applications.append(item.toJson());
    // Object keys come out sorted at every level; slashes are never escaped.
    const QJsonObject document{
        {QStringLiteral("scope"),
         QStringLiteral("用户选择的应用；仅当前快照，使用历史未知；未联网核实用途或版本")},
        {QStringLiteral("applications"), applications},
    };
    QByteArray encoded = QJsonDocument(document).toJson(QJsonDocument::Indented);
    if (encoded.endsWith('\n'))
        encoded.chop(1);

    const QString tooLong = QStringLiteral("清单较长，请减少所选应用后重试。");
    if (encoded.size() > maximumBytes)
        throw ApplicationManagementError::blocked(tooLong);
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(encoded);
    if (decoder.hasError())
        throw ApplicationManagementError::blocked(tooLong);
    return text;
}

} // namespace ApplicationAdviceSummary
} // namespace lunorvale
