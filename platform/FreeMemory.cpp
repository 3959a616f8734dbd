#include "platform/FreeMemory.h"

#include <malloc.h>

namespace lunorvale {

void returnFreeMemory() {
    ::malloc_trim(0);
}

} // namespace lunorvale
