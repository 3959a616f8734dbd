#pragma once

#include <QHash>
#include <QString>
#include <cstdint>
#include <functional>

namespace lunorvale {

// One incarnation of a process: a reused pid with a later start time is another process.
struct ProcessIdentity {
    int32_t pid = 0;
    uint64_t startTime = 0; // microseconds since 1970

    // "pid:startTime", used in notification identifiers and group ids.
    QString key() const { return QString::number(pid) + u':' + QString::number(startTime); }

    friend bool operator==(const ProcessIdentity&, const ProcessIdentity&) = default;
};

inline size_t qHash(const ProcessIdentity& identity, size_t seed = 0) noexcept {
    return qHashMulti(seed, identity.pid, identity.startTime);
}

} // namespace lunorvale

template <> struct std::hash<lunorvale::ProcessIdentity> {
    size_t operator()(const lunorvale::ProcessIdentity& identity) const noexcept {
        return std::hash<uint64_t>{}((static_cast<uint64_t>(static_cast<uint32_t>(identity.pid)) << 32) ^
                                     identity.startTime * 0x9E3779B97F4A7C15ull);
    }
};
