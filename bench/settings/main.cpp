#include "support/InterfaceBench.h"

int main(int argc, char** argv) {
    return lunorvale::InterfaceBench::run(argc, argv);
}
