#pragma once

#include "core/common/NameOrder.h"
#include "core/monitoring/ApplicationResourceGroup.h"
#include "core/monitoring/ProcessPlatform.h"

#include <QCollator>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace lunorvale::ProcessResourceGrouper {

// One group per application bundle (symbolic links resolved by the platform), one per desktop
// application for processes outside bundles that the desktop started as one (named and located by
// its desktop entry, which the platform looks up), and one per remaining process; ordered by name
// as a file browser orders names (digits as numbers, case ignored), then id.
QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes, ProcessPlatform& platform);

// The collation keys of group names, kept by whoever groups one sample after another: making the
// collator and a key for every name again cost a tenth of a sample, for names that mostly stay.
class NameKeys final {
public:
    NameKeys();
    const QCollatorSortKey& key(const QString& name);
    // Called by a grouping of `groups` groups before it asks for their keys: where far more names are
    // kept than that, all go, and the grouping makes the keys of its own names again.
    void trim(qsizetype groups);

private:
    QCollator m_collator;
    QHash<QString, QCollatorSortKey> m_keys;
};
QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes, ProcessPlatform& platform,
                                       NameKeys& keys);

// The order of names in `groups` and wherever groups are listed by name: the program's one name order.
using lunorvale::nameCollator;

// The outermost "X.app" folder directly followed by "Contents" and at least one more component,
// in the absolute, standardized path; absent otherwise. Reads nothing from the disk.
std::optional<QString> applicationBundlePath(const QString& executable);

} // namespace lunorvale::ProcessResourceGrouper
