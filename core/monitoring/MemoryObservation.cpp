#include "core/monitoring/MemoryObservation.h"

#include "core/common/SafeText.h"
#include "core/monitoring/DisplayFormat.h"

#include <algorithm>
#include <cmath>

namespace lunorvale {
namespace {

constexpr uint64_t mebibyte = 1024 * 1024;
constexpr uint64_t smallDropTolerance = 16 * mebibyte;
constexpr uint64_t proportionalDropFrom = 320 * mebibyte;
constexpr uint64_t reportableGrowth = 256 * mebibyte;
constexpr double pressureReportSeconds = 60;
constexpr double growthReportAge = 300;
constexpr double growthMaximumAge = 900;
constexpr int64_t growthRisingSamples = 5;

uint64_t dropTolerance(uint64_t previous) {
    return previous < proportionalDropFrom ? smallDropTolerance : previous / 20;
}

MemoryObservation pressureObservation(double seconds) {
    return MemoryObservation{
        MemoryObservation::Kind::pressure, QStringLiteral("整机内存压力持续偏高"),
        QStringLiteral("系统报告的内存压力已连续偏高约 ") + DisplayFormat::duration(seconds) +
            QStringLiteral("。可先保存工作，再查看内存合计靠前的应用；占用高不代表某个应用一定有问题。"),
        std::nullopt, seconds};
}

MemoryObservation growthObservation(const ProcessSample& sample, double age, uint64_t growth) {
    return MemoryObservation{MemoryObservation::Kind::growth,
                             SafeText::isolated(sample.displaySource()) +
                                 QStringLiteral(" 的驻留内存近期增长"),
                             QStringLiteral("约 ") + DisplayFormat::duration(age) +
                                 QStringLiteral(" 内增加 ") + DisplayFormat::memory(growth) +
                                 QStringLiteral("，当前为 ") + DisplayFormat::memory(sample.residentBytes) +
                                 QStringLiteral("。这可能来自缓存或正在处理的数据，不能据此确认内存泄漏。可结"
                                                "合应用进度和整机内存压力继续观察。"),
                             sample.identity, age};
}

} // namespace

QString MemoryObservation::id() const {
    QString text = rawValue(kind);
    if (processIdentity)
        text += u':' + processIdentity->key();
    return text;
}

QString MemoryObservation::rawValue(Kind kind) {
    return kind == Kind::pressure ? QStringLiteral("pressure") : QStringLiteral("growth");
}

std::optional<MemoryObservation::Kind> MemoryObservation::kindFromRawValue(const QString& raw) {
    if (raw == QStringLiteral("pressure"))
        return Kind::pressure;
    if (raw == QStringLiteral("growth"))
        return Kind::growth;
    return std::nullopt;
}

void MemoryObservationDetector::reset() {
    m_growth.clear();
    m_previousTime.reset();
    m_previousDate.reset();
    m_elevatedSince.reset();
    m_previousPressure = SystemMemoryPressure::unknown;
}

QList<MemoryObservation> MemoryObservationDetector::observe(const MonitorSnapshot& snapshot,
                                                            const MonitorSettings& settings) {
    const double t = snapshot.monotonicTime;
    if (!std::isfinite(t) || !snapshot.timestamp.isValid()) {
        reset();
        return {};
    }
    if (m_previousTime) {
        const double step = t - *m_previousTime;
        if (!(step > 0) || step > settings.longestContinuousGap())
            reset();
    }
    if (m_previousDate && snapshot.timestamp < *m_previousDate)
        reset();
    m_previousTime = t;
    m_previousDate = snapshot.timestamp;

    QList<MemoryObservation> observations;

    const SystemMemoryPressure pressure =
        snapshot.systemMemory ? snapshot.systemMemory->pressure : SystemMemoryPressure::unknown;
    if (!MemoryPressure::isElevated(pressure)) {
        m_elevatedSince.reset();
    } else {
        if (!MemoryPressure::isElevated(m_previousPressure) || !m_elevatedSince)
            m_elevatedSince = t;
        const double length = settings.countedLength(t - *m_elevatedSince);
        if (length >= pressureReportSeconds)
            observations.append(pressureObservation(length));
    }
    m_previousPressure = pressure;

    QHash<ProcessIdentity, GrowthRun> growth;
    growth.reserve(snapshot.processes.size());
    for (const ProcessSample& sample : snapshot.processes) {
        const uint64_t r = sample.residentBytes;
        const GrowthRun fresh{sample.executable, sample.command, t, r, r, 0};
        const auto found = m_growth.constFind(sample.identity);
        if (found == m_growth.cend() || found->executable != sample.executable ||
            found->command != sample.command) {
            growth.insert(sample.identity, fresh);
            continue;
        }
        GrowthRun run = *found;
        const double age = settings.countedLength(t - run.since);
        if ((r < run.previous && run.previous - r > dropTolerance(run.previous)) || age > growthMaximumAge) {
            growth.insert(sample.identity, fresh);
            continue;
        }
        if (r > run.previous) {
            ++run.risingSamples;
            if (r >= run.baseline) {
                const uint64_t grown = r - run.baseline;
                if (run.risingSamples >= growthRisingSamples && age >= growthReportAge &&
                    grown >= reportableGrowth &&
                    static_cast<double>(grown) >= static_cast<double>(run.baseline) * 0.25)
                    observations.append(growthObservation(sample, age, grown));
            }
        }
        run.previous = r;
        growth.insert(sample.identity, run);
    }
    m_growth.swap(growth);

    std::stable_sort(observations.begin(), observations.end(),
                     [](const MemoryObservation& a, const MemoryObservation& b) {
                         if (a.kind != b.kind)
                             return a.kind == MemoryObservation::Kind::pressure;
                         return a.id() < b.id();
                     });
    return observations;
}

} // namespace lunorvale
