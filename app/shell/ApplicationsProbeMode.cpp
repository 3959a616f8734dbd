#include "app/shell/LunorvaleEntry.h"

namespace lunorvale {

// Placeholder until the inventory lands.
int LunorvaleEntry::applicationsProbe() {
    printReport(QJsonObject{{QStringLiteral("status"), QStringLiteral("failed")}});
    return 1;
}

} // namespace lunorvale
