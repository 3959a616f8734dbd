#pragma once

namespace lunorvale {

// Hands the allocator's free pages back to the system. Memory the program frees stays with the
// allocator otherwise, scattered between live blocks: after a sample of thousands of processes has
// replaced the last one, or a window has closed, that is megabytes the program keeps for nothing.
void returnFreeMemory();

} // namespace lunorvale
