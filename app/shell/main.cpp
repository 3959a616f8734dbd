#include "app/shell/LunorvaleEntry.h"

int main(int argc, char** argv) {
    return lunorvale::LunorvaleEntry::main(argc, argv);
}
