#pragma once

#include "core/monitoring/Finding.h"
#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessSample.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace lunorvale {

// The bookkeeping of reminders: at most one reminder per process outstanding or shown, none again
// within `cooldownSeconds` of a delivery, retries after 30 s, 60 s and then the cooldown, and every
// reminder withdrawn once its process is gone, calm again or running something else. Talks to no
// one: callers hand the returned identifiers to the notification service. Main thread only.
//
// Times are seconds of a monotonic clock that counts sleep: a wall clock stepped ahead would repeat
// every reminder at once, one stepped back hold them for the step's length, and a clock that stops in
// a sleep would hold a retry due after a long one for its whole wait again.
class NotificationDeliveryState final {
public:
    static constexpr qint64 cooldownSeconds = 1800;

    // What a reminder is about: the process incarnation and what it runs as whom.
    struct Signature {
        ProcessIdentity identity;
        QString executable;
        QString command;
        uint32_t uid = 0;

        static Signature of(const ProcessSample& sample);
        friend bool operator==(const Signature&, const Signature&) = default;
    };

    // One reminder handed to the notification service.
    struct Request {
        Signature signature;
        QString identifier; // "pid:start:UUID"
        std::optional<QString> replacingIdentifier;

        friend bool operator==(const Request&, const Request&) = default;
    };

    // Takes the latest sample's processes and findings; returns the identifiers to withdraw.
    QStringList reconcile(const QList<ProcessSample>& processes, const QList<Finding>& findings);
    // The new request when the process may be reminded now; nothing (and no change) otherwise.
    std::optional<Request> begin(const ProcessSample& sample, double now);
    // Records the service's answer; false (and no change) when the request is no longer the one
    // expected, in which case the caller withdraws it.
    bool complete(const Request& request, bool succeeded, double now);
    // Forgets one process (muted or stopped); its identifiers to withdraw.
    QStringList cancel(const ProcessIdentity& identity);
    // Forgets everything; all identifiers to withdraw.
    QStringList reset();

private:
    struct Entry {
        Signature signature;
        std::optional<Request> pending;
        std::optional<QString> deliveredIdentifier;
        std::optional<double> lastAccepted;
        std::optional<double> retryAfter;
        int failures = 0;

        QStringList identifiers() const;
    };

    QHash<ProcessIdentity, Entry> m_entries;
    QHash<ProcessIdentity, Signature> m_active;
};

} // namespace lunorvale
