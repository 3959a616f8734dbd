#pragma once

#include "core/monitoring/ProcessSample.h"
#include "core/monitoring/ProcessSort.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

namespace lunorvale {

// The order of the process lists: by one figure, largest first, a CPU share not yet measured after every
// measured one; equal figures by name as a file browser orders them (digits as numbers, case ignored),
// then by pid. The model's ordered processes and the processes page's sorting proxy both use it.
class ProcessOrder final {
public:
    using Key = ProcessSort;

    // What one process is ordered by.
    struct Entry {
        double figure = 0; // -1 for a CPU share not yet measured
        QString name;
        int32_t pid = 0;
    };
    static double figure(const ProcessSample& sample, Key key);
    static Entry entry(const ProcessSample& sample, Key key) {
        return {figure(sample, key), sample.name, sample.identity.pid};
    }

    ProcessOrder();

    // The indexes of `entries`, first first. The collation keys of the names are kept from one call to
    // the next while their names keep coming.
    QList<int> order(const QList<Entry>& entries);
    // `samples` in the order of `key`.
    QList<ProcessSample> sorted(const QList<ProcessSample>& samples, Key key);

private:
    QCollator m_collator;
    QHash<QString, QCollatorSortKey> m_nameKeys;
};

} // namespace lunorvale
