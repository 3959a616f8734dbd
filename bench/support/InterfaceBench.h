#pragma once

#include <functional>

// What the benchmark programs of the interface share: the body of their main() and the readings their runs
// take.
namespace lunorvale::InterfaceBench {

// The main thread's CPU seconds so far.
double threadSeconds();

// The program's resident memory in MiB (0 when it cannot be read).
double residentMegabytes();

// Queued refreshes, layouts and the item views' delayed layouts, without painting.
void settle();

// A QApplication on the offscreen platform (unless one is asked for), as the tests run, with the
// program's fonts and light palette; then the benchmarks the command line names. `afterRuns` ends what
// the benchmarks keep between runs before the application object goes.
int run(int argc, char** argv, const std::function<void()>& afterRuns = {});

} // namespace lunorvale::InterfaceBench
