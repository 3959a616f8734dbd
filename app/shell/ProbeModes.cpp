#include "app/shell/LunorvaleEntry.h"

namespace lunorvale {

int LunorvaleEntry::probe() { return 1; }
int LunorvaleEntry::smokeTest() { return 1; }

} // namespace lunorvale
