#include "app/model/NotificationDeliveryState.h"

#include <QUuid>

namespace lunorvale {

NotificationDeliveryState::Signature NotificationDeliveryState::Signature::of(const ProcessSample& sample) {
    return Signature{sample.identity, sample.executable, sample.command, sample.uid};
}

QStringList NotificationDeliveryState::Entry::identifiers() const {
    QStringList list;
    if (pending)
        list.append(pending->identifier);
    if (deliveredIdentifier)
        list.append(*deliveredIdentifier);
    return list;
}

QStringList NotificationDeliveryState::reconcile(const QList<ProcessSample>& processes,
                                                 const QList<Finding>& findings) {
    QHash<ProcessIdentity, Signature> current;
    current.reserve(processes.size());
    for (const ProcessSample& sample : processes) {
        if (!current.contains(sample.identity))
            current.insert(sample.identity, Signature::of(sample));
    }

    m_active.clear();
    for (const Finding& finding : findings) {
        const Signature signature = Signature::of(finding.sample);
        const auto live = current.constFind(signature.identity);
        if (live != current.cend() && *live == signature && !m_active.contains(signature.identity))
            m_active.insert(signature.identity, signature);
    }

    QStringList withdrawn;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const auto live = current.constFind(it.key());
        if (live == current.cend() || *live != it->signature) {
            withdrawn.append(it->identifiers());
            it = m_entries.erase(it);
            continue;
        }
        const auto flagged = m_active.constFind(it.key());
        if (flagged == m_active.cend() || *flagged != it->signature) {
            // Calm again: the reminder goes, the timing stays, so a quick return is still held to
            // the cooldown and the retry waits.
            withdrawn.append(it->identifiers());
            it->pending.reset();
            it->deliveredIdentifier.reset();
        }
        ++it;
    }
    return withdrawn;
}

std::optional<NotificationDeliveryState::Request>
NotificationDeliveryState::begin(const ProcessSample& sample, double now) {
    const Signature signature = Signature::of(sample);
    const auto flagged = m_active.constFind(signature.identity);
    if (flagged == m_active.cend() || *flagged != signature)
        return std::nullopt;

    Entry entry = m_entries.value(signature.identity, Entry{signature, {}, {}, {}, {}, 0});
    if (entry.signature != signature || entry.pending)
        return std::nullopt;
    if (entry.lastAccepted && now - *entry.lastAccepted < cooldownSeconds)
        return std::nullopt;
    if (entry.retryAfter && now < *entry.retryAfter)
        return std::nullopt;
    if (entry.failures >= 3)
        entry.failures = 0;

    const QString identifier =
        signature.identity.key() + u':' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    Request request{signature, identifier, entry.deliveredIdentifier};
    entry.pending = request;
    entry.deliveredIdentifier.reset();
    m_entries.insert(signature.identity, entry);
    return request;
}

bool NotificationDeliveryState::complete(const Request& request, bool succeeded, double now) {
    const ProcessIdentity& identity = request.signature.identity;
    const auto flagged = m_active.constFind(identity);
    const auto it = m_entries.find(identity);
    if (flagged == m_active.cend() || *flagged != request.signature || it == m_entries.end() ||
        it->signature != request.signature || it->pending != request)
        return false;

    it->pending.reset();
    if (succeeded) {
        it->lastAccepted = now;
        it->deliveredIdentifier = request.identifier;
        it->retryAfter.reset();
        it->failures = 0;
    } else {
        it->failures += 1;
        const qint64 wait = it->failures == 1 ? 30 : it->failures == 2 ? 60 : cooldownSeconds;
        it->retryAfter = now + double(wait);
    }
    return true;
}

QStringList NotificationDeliveryState::cancel(const ProcessIdentity& identity) {
    m_active.remove(identity);
    const auto it = m_entries.constFind(identity);
    if (it == m_entries.cend())
        return {};
    const QStringList identifiers = it->identifiers();
    m_entries.erase(it);
    return identifiers;
}

QStringList NotificationDeliveryState::reset() {
    QStringList identifiers;
    for (const Entry& entry : std::as_const(m_entries))
        identifiers.append(entry.identifiers());
    m_entries.clear();
    m_active.clear();
    return identifiers;
}

} // namespace lunorvale
