#include "app/shell/LunorvaleEntry.h"

namespace lunorvale {

// Placeholder until the AI client lands: refuses every address.
int LunorvaleEntry::aiSmoke(const QString&, bool, bool) { return 2; }

} // namespace lunorvale
