#pragma once

#include "core/common/JsonWriter.h"
#include "core/monitoring/ProcessIdentity.h"

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QSet>
#include <optional>

namespace lunorvale {

// A request not to be reminded about one process until `expiresAt`.
struct MutedProcess {
    // How long a mute lasts from the moment it is asked for.
    static constexpr qint64 durationSeconds = 3600;

    ProcessIdentity identity;
    QDateTime expiresAt;

    // {"identity":{"pid":…,"startTime":…},"expiresAt":seconds since 2001-01-01}
    JsonValue toJson() const;
    // Both keys required; absent for anything else.
    static std::optional<MutedProcess> fromJson(const QJsonValue& value);

    // The mutes still in force, in input order: a real process (pid ≥ 2, start time known),
    // expiring after `now` but no later than `durationSeconds` from it, still alive when `liveIDs` is
    // given, first entry per identity.
    static QList<MutedProcess> active(const QList<MutedProcess>& muted, const QDateTime& now,
                                      const std::optional<QSet<ProcessIdentity>>& liveIDs);

    friend bool operator==(const MutedProcess&, const MutedProcess&) = default;
};

} // namespace lunorvale
