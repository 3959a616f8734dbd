#include "core/monitoring/MutedProcess.h"

#include "core/common/StoredDates.h"

#include <QJsonObject>
#include <cmath>
#include <limits>

namespace lunorvale {
namespace {

// JSON numbers arrive as doubles: accept only whole numbers that the target type holds exactly.
template <typename Integer> std::optional<Integer> wholeNumber(const QJsonValue& value) {
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (number != std::trunc(number) || number < static_cast<double>(std::numeric_limits<Integer>::min()) ||
        number >= static_cast<double>(std::numeric_limits<Integer>::max()) + 1.0)
        return std::nullopt;
    return static_cast<Integer>(number);
}

} // namespace

JsonValue MutedProcess::toJson() const {
    JsonValue identityObject = JsonValue::object();
    identityObject.insert(QStringLiteral("pid"), static_cast<int64_t>(identity.pid));
    identityObject.insert(QStringLiteral("startTime"), identity.startTime);
    JsonValue object = JsonValue::object();
    object.insert(QStringLiteral("identity"), std::move(identityObject));
    object.insert(QStringLiteral("expiresAt"), StoredDates::secondsSinceReferenceDate(expiresAt));
    return object;
}

std::optional<MutedProcess> MutedProcess::fromJson(const QJsonValue& value) {
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject object = value.toObject();
    const QJsonValue identityValue = object.value(QStringLiteral("identity"));
    const QJsonValue expiresValue = object.value(QStringLiteral("expiresAt"));
    if (!identityValue.isObject() || !expiresValue.isDouble())
        return std::nullopt;
    const QJsonObject identityObject = identityValue.toObject();
    const auto pid = wholeNumber<int32_t>(identityObject.value(QStringLiteral("pid")));
    const auto startTime = wholeNumber<uint64_t>(identityObject.value(QStringLiteral("startTime")));
    const auto expiresAt = StoredDates::fromSecondsSinceReferenceDate(expiresValue.toDouble());
    if (!pid || !startTime || !expiresAt)
        return std::nullopt;
    return MutedProcess{ProcessIdentity{*pid, *startTime}, *expiresAt};
}

QList<MutedProcess> MutedProcess::active(const QList<MutedProcess>& muted, const QDateTime& now,
                                         const std::optional<QSet<ProcessIdentity>>& liveIDs) {
    const QDateTime latest = now.addSecs(durationSeconds);
    QList<MutedProcess> kept;
    QSet<ProcessIdentity> seen;
    for (const MutedProcess& entry : muted) {
        if (entry.identity.pid < 2 || entry.identity.startTime == 0)
            continue;
        if (!entry.expiresAt.isValid() || !(entry.expiresAt > now) || entry.expiresAt > latest)
            continue;
        if (liveIDs && !liveIDs->contains(entry.identity))
            continue;
        if (seen.contains(entry.identity))
            continue;
        seen.insert(entry.identity);
        kept.append(entry);
    }
    return kept;
}

} // namespace lunorvale
