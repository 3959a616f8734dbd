// A process whose files in /proc, its executable link among them, are closed to its own user, as those
// of a setgid program such as ssh-agent are: it makes itself non-dumpable and waits to be ended. Where
// LUNORVALE_PROCESS_NAME is set, it first takes that name, as a program may rename itself.
#include <cstdlib>
#include <sys/prctl.h>
#include <unistd.h>

int main() {
    const char* name = std::getenv("LUNORVALE_PROCESS_NAME");
    if (name != nullptr && ::prctl(PR_SET_NAME, name, 0, 0, 0) != 0)
        return 1;
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return 1;
    for (;;)
        ::pause();
}
