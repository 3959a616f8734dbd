#pragma once

#include "core/ai/AIConfiguration.h"
#include "core/ai/AutomaticAdviceBudget.h"
#include "core/ai/ProcessDecisionAdvice.h"
#include "core/monitoring/Finding.h"
#include "core/monitoring/ProcessIdentity.h"
#include "core/monitoring/ProcessSample.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>
#include <functional>
#include <optional>
#include <stop_token>
#include <variant>

namespace lunorvale {

// Asks the AI service about every flagged process once, without the user asking: the busiest process not
// asked about recently goes first, every request must pass the request budget, and only one request runs
// at a time. One entry per process (pending, answered or failed) is what the interface shows.
//
// Lives on one thread (the interface thread) and is used only there. A request's answer is applied only
// while the request is still the current one (its identifier is `activeRequest` and the process's entry
// still carries it); stopping a request is a courtesy to the analysis function, never relied on.
class AutomaticProcessAdvice final : public QObject {
    Q_OBJECT

public:
    struct Entry {
        ProcessSample sample; // the process as it was when the request started
        QUuid requestID;
        QDateTime createdAt;
        std::optional<ProcessDecisionAdvice> advice;
        bool pending = false;
        std::optional<QString> failure; // the sentence of the error that ended the request

        // Same process incarnation running the same program as the same user; names and measurements may
        // differ.
        bool matches(const ProcessSample& other) const;

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    // The decision, or the sentence telling the user why there is none.
    using AnalysisResult = std::variant<ProcessDecisionAdvice, QString>;
    // Hands over the result. Call it on the queue's thread, at most once (later calls are ignored); calling
    // it before the analysis function has returned is allowed and takes effect on the next event loop pass.
    using AnalysisDone = std::function<void(AnalysisResult)>;
    // Starts one request for `summary` with `configuration` and returns at once; `stop` is requested when
    // the queue no longer wants the answer.
    using Analyze = std::function<void(const QString& summary, const AIConfiguration& configuration,
                                       AnalysisDone done, std::stop_token stop)>;
    using Clock = std::function<QDateTime()>;
    // Must store the whole attempt list so that the next construction receives it.
    using PersistBudget = std::function<void(const QList<QDateTime>& attempts)>;

    // Entries and request records live for less than this.
    static constexpr qint64 lifetimeSeconds = 1800;

    // A null `now` reads the system clock.
    AutomaticProcessAdvice(QList<QDateTime> attempts, Clock now, PersistBudget persistBudget, Analyze analyze,
                           QObject* parent = nullptr);

    // Call after every sample and whenever the findings or the AI settings change; no configuration turns
    // automatic advice off. A changed service address or model throws away everything shown so far.
    void refresh(const QList<Finding>& findings, const std::optional<AIConfiguration>& configuration);
    // Forgets every failed entry so that its process is asked about again; a request in flight goes on.
    void retryFailedRequests(bool startImmediately);
    // Puts a fixed entry for preview pages; no request is made.
    void setPreview(const ProcessSample& sample, const std::optional<ProcessDecisionAdvice>& advice,
                    bool pending);

    // The entry for that process, only while it still matches the sample.
    std::optional<Entry> entry(const ProcessSample& sample) const;
    const QHash<ProcessIdentity, Entry>& entries() const { return m_entries; }

signals:
    void entriesChanged();
    // An entry received advice (failures are not reported here).
    void didFinish(const lunorvale::AutomaticProcessAdvice::Entry& entry);

private:
    struct Request {
        QUuid id;
        std::stop_source stop;
    };

    void setEntries(QHash<ProcessIdentity, Entry> entries);
    void startNext();
    void cancel();
    void complete(const QUuid& requestID, const std::stop_token& stop, const AIConfiguration& configuration,
                  const ProcessIdentity& identity, const AnalysisResult& result);

    QHash<ProcessIdentity, Entry> m_entries;
    std::optional<AIConfiguration> m_configuration;
    // The findings of the last refresh in the order given, first occurrence of each identity only.
    QList<Finding> m_findings;
    QHash<ProcessIdentity, qsizetype> m_findingIndex;
    QHash<ProcessIdentity, QDateTime> m_lastAttempt;
    AutomaticAdviceBudget m_budget;
    Clock m_now;
    PersistBudget m_persistBudget;
    Analyze m_analyze;
    std::optional<Request> m_task;
    std::optional<QUuid> m_activeRequest;
};

} // namespace lunorvale
