#include "support/InterfaceBench.h"

// Defined beside the benchmarks: windows they share end before the application object does.
void releaseWindows();

int main(int argc, char** argv) {
    return lunorvale::InterfaceBench::run(argc, argv, releaseWindows);
}
