#include "app/advice/AutomaticProcessAdvice.h"

#include "core/ai/AIServiceError.h"
#include "core/ai/DiagnosticSummary.h"

#include <QPointer>
#include <algorithm>
#include <cmath>
#include <memory>

namespace lunorvale {

namespace {

constexpr qint64 lifetimeMSecs = AutomaticProcessAdvice::lifetimeSeconds * 1000;

// The busiest process goes first; a process without a measurement (or with a broken one) counts as idle.
double busyness(const Finding& finding) {
    const double value = finding.sample.cpuPercent.value_or(0);
    return std::isfinite(value) ? value : 0;
}

qint64 msecsBetween(const QDateTime& earlier, const QDateTime& later) {
    return later.toMSecsSinceEpoch() - earlier.toMSecsSinceEpoch();
}

} // namespace

bool AutomaticProcessAdvice::Entry::matches(const ProcessSample& other) const {
    return sample.identity == other.identity && sample.executable == other.executable &&
           sample.command == other.command && sample.uid == other.uid;
}

AutomaticProcessAdvice::AutomaticProcessAdvice(QList<QDateTime> attempts, Clock now,
                                               PersistBudget persistBudget, Analyze analyze, QObject* parent)
    : QObject(parent), m_budget{std::move(attempts)},
      m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTimeUtc(); })),
      m_persistBudget(std::move(persistBudget)), m_analyze(std::move(analyze)) {}

void AutomaticProcessAdvice::refresh(const QList<Finding>& findings,
                                     const std::optional<AIConfiguration>& configuration) {
    const QDateTime now = m_now();
    if (configuration != m_configuration) {
        cancel();
        setEntries({});
    }
    m_configuration = configuration;

    m_findings.clear();
    m_findingIndex.clear();
    if (configuration) {
        for (const Finding& finding : findings) {
            if (m_findingIndex.contains(finding.sample.identity))
                continue;
            m_findingIndex.insert(finding.sample.identity, m_findings.size());
            m_findings.append(finding);
        }
    }

    // An entry in the future comes from a clock that was set back; it is dropped like an old one.
    QHash<ProcessIdentity, Entry> kept;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        const auto index = m_findingIndex.constFind(it.key());
        if (index == m_findingIndex.cend() || !it->matches(m_findings.at(*index).sample))
            continue;
        const qint64 age = msecsBetween(it->createdAt, now);
        if (age < 0 || age >= lifetimeMSecs)
            continue;
        kept.insert(it.key(), *it);
    }
    setEntries(std::move(kept));

    if (m_activeRequest) {
        const bool stillShown = std::any_of(m_entries.cbegin(), m_entries.cend(), [&](const Entry& entry) {
            return entry.requestID == *m_activeRequest;
        });
        if (!stillShown)
            cancel();
    }

    // Unlike an entry, a request time in the future stays: it keeps the process from being asked again.
    m_lastAttempt.removeIf([&](const QHash<ProcessIdentity, QDateTime>::iterator it) {
        return msecsBetween(it.value(), now) >= lifetimeMSecs;
    });

    startNext();
}

void AutomaticProcessAdvice::retryFailedRequests(bool startImmediately) {
    QHash<ProcessIdentity, Entry> entries = m_entries;
    bool removed = false;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        if (!it->failure)
            continue;
        m_lastAttempt.remove(it.key());
        entries.remove(it.key());
        removed = true;
    }
    if (removed)
        setEntries(std::move(entries));
    if (startImmediately)
        startNext();
}

void AutomaticProcessAdvice::setPreview(const ProcessSample& sample,
                                        const std::optional<ProcessDecisionAdvice>& advice, bool pending) {
    QHash<ProcessIdentity, Entry> entries = m_entries;
    entries.insert(sample.identity,
                   Entry{sample, QUuid::createUuid(), m_now(), advice, pending, std::nullopt});
    setEntries(std::move(entries));
}

std::optional<AutomaticProcessAdvice::Entry>
AutomaticProcessAdvice::entry(const ProcessSample& sample) const {
    const auto it = m_entries.constFind(sample.identity);
    if (it == m_entries.cend() || !it->matches(sample))
        return std::nullopt;
    return *it;
}

void AutomaticProcessAdvice::setEntries(QHash<ProcessIdentity, Entry> entries) {
    m_entries = std::move(entries);
    emit entriesChanged();
}

void AutomaticProcessAdvice::startNext() {
    if (m_task || !m_configuration)
        return;
    const QDateTime now = m_now();

    QList<const Finding*> candidates;
    for (const Finding& finding : m_findings) {
        if (!m_lastAttempt.contains(finding.sample.identity))
            candidates.append(&finding);
    }
    if (candidates.isEmpty())
        return;
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Finding* a, const Finding* b) { return busyness(*a) > busyness(*b); });
    const Finding candidate = *candidates.first();
    const ProcessIdentity identity = candidate.sample.identity;

    // The budget also drops damaged and day-old times when it refuses; storing that cleaned list keeps a
    // damaged stored list from coming back at the next start.
    const QList<QDateTime> before = m_budget.attempts;
    const bool granted = m_budget.reserve(now);
    if (m_persistBudget && m_budget.attempts != before)
        m_persistBudget(m_budget.attempts);
    if (!granted)
        return;

    m_lastAttempt.insert(identity, now);
    const QUuid requestID = QUuid::createUuid();
    m_activeRequest = requestID;
    m_task.emplace(Request{requestID, {}});
    const std::stop_token stop = m_task->stop.get_token();
    const AIConfiguration configuration = *m_configuration;
    m_entries.insert(identity, Entry{candidate.sample, requestID, now, std::nullopt, true, std::nullopt});
    const QString summary = DiagnosticSummary::make(candidate.sample, candidate);

    // The result is applied through the queue's own checks, never directly: a result for a request that
    // stopped being current changes nothing. A result handed over while the analysis function is still
    // being called waits for the next event loop pass, so the queue never re-enters itself.
    struct Handover {
        bool used = false;
        bool starting = true;
    };
    const auto handover = std::make_shared<Handover>();
    const QPointer<AutomaticProcessAdvice> self(this);
    AnalysisDone done = [self, handover, requestID, stop, configuration, identity](AnalysisResult result) {
        if (handover->used || !self)
            return;
        handover->used = true;
        if (!handover->starting) {
            self->complete(requestID, stop, configuration, identity, result);
            return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, requestID, stop, configuration, identity, result = std::move(result)] {
                if (self)
                    self->complete(requestID, stop, configuration, identity, result);
            },
            Qt::QueuedConnection);
    };

    try {
        m_analyze(summary, configuration, done, stop);
    } catch (const AIServiceError& error) {
        done(error.errorDescription());
    } catch (const std::exception& error) {
        qWarning("Automatic advice request failed: %s", error.what());
        done(QStringLiteral("AI 分析未能开始，请稍后重试。"));
    }
    handover->starting = false;
    emit entriesChanged();
}

void AutomaticProcessAdvice::complete(const QUuid& requestID, const std::stop_token& stop,
                                      const AIConfiguration& configuration, const ProcessIdentity& identity,
                                      const AnalysisResult& result) {
    if (stop.stop_requested() || m_activeRequest != requestID || m_configuration != configuration)
        return;
    const auto index = m_findingIndex.constFind(identity);
    const auto current = m_entries.constFind(identity);
    if (index == m_findingIndex.cend() || current == m_entries.cend() || current->requestID != requestID ||
        !current->matches(m_findings.at(*index).sample))
        return;

    m_task.reset();
    m_activeRequest.reset();
    Entry entry = *current;
    entry.pending = false;
    const auto* advice = std::get_if<ProcessDecisionAdvice>(&result);
    if (advice) {
        entry.advice = *advice;
        entry.failure.reset();
    } else {
        entry.advice.reset();
        entry.failure = std::get<QString>(result);
    }
    QHash<ProcessIdentity, Entry> entries = m_entries;
    entries.insert(identity, entry);
    setEntries(std::move(entries));
    if (advice)
        emit didFinish(entry);
    startNext();
}

void AutomaticProcessAdvice::cancel() {
    m_activeRequest.reset();
    if (m_task) {
        m_task->stop.request_stop();
        m_task.reset();
    }
}

} // namespace lunorvale
