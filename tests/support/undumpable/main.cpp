// A process whose files in /proc, its executable link among them, are closed to its own user, as those
// of a setgid program such as ssh-agent are: it makes itself non-dumpable and waits to be ended.
#include <sys/prctl.h>
#include <unistd.h>

int main() {
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return 1;
    for (;;)
        ::pause();
}
