#include "core/monitoring/ProcessOrder.h"

#include "core/monitoring/ProcessResourceGrouper.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace lunorvale {

double ProcessOrder::figure(const ProcessSample& sample, Key key) {
    switch (key) {
    case Key::memory:
        return static_cast<double>(sample.residentBytes);
    case Key::duration:
        return sample.elapsedSeconds;
    case Key::cpu:
        break;
    }
    return sample.cpuPercent.value_or(-1);
}

ProcessOrder::ProcessOrder() : m_collator(ProcessResourceGrouper::nameCollator()) {}

QList<int> ProcessOrder::order(const QList<Entry>& entries) {
    QList<int> order(entries.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&entries](int a, int b) { return entries[a].figure > entries[b].figure; });
    // Names decide only among equal figures, so only those runs pay for collation; a sample has many
    // (every idle process shares 0%), and comparing collation keys is many times faster than collating
    // names that differ only in their digits. Names come and go for as long as the program runs: the
    // keys are dropped now and then, not on every call.
    if (m_nameKeys.size() > 2 * entries.size() + 64)
        m_nameKeys.clear();
    std::vector<std::pair<QCollatorSortKey, int>> keys;
    for (qsizetype begin = 0; begin < order.size();) {
        qsizetype end = begin + 1;
        while (end < order.size() && entries[order[end]].figure == entries[order[begin]].figure)
            ++end;
        if (end - begin > 1) {
            keys.clear();
            for (qsizetype i = begin; i < end; ++i) {
                const QString& name = entries[order[i]].name;
                auto key = m_nameKeys.constFind(name);
                if (key == m_nameKeys.cend())
                    key = m_nameKeys.insert(name, m_collator.sortKey(name));
                keys.emplace_back(*key, order[i]);
            }
            std::sort(keys.begin(), keys.end(), [&entries](const auto& a, const auto& b) {
                const int names = a.first.compare(b.first);
                if (names != 0)
                    return names < 0;
                return entries[a.second].pid < entries[b.second].pid;
            });
            for (qsizetype i = begin; i < end; ++i)
                order[i] = keys[static_cast<size_t>(i - begin)].second;
        }
        begin = end;
    }
    return order;
}

QList<ProcessSample> ProcessOrder::sorted(const QList<ProcessSample>& samples, Key key) {
    QList<Entry> entries;
    entries.reserve(samples.size());
    for (const ProcessSample& sample : samples)
        entries.append(entry(sample, key));
    QList<ProcessSample> sorted;
    sorted.reserve(samples.size());
    for (const int index : order(entries))
        sorted.append(samples[index]);
    return sorted;
}

} // namespace lunorvale
