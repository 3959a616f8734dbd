// A process whose files in /proc, its executable link among them, are closed to its own user, as those
// of a setgid program such as ssh-agent are: it makes itself non-dumpable and waits to be ended. Where
// LUNORVALE_PROCESS_NAME is set, it first takes that name, as a program may rename itself; where
// LUNORVALE_MAIN_THREAD_ENDS is set, its main thread then ends while a second thread waits on.
#include <cstdlib>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

void* wait(void*) {
    for (;;)
        ::pause();
}

} // namespace

int main() {
    const char* name = std::getenv("LUNORVALE_PROCESS_NAME");
    if (name != nullptr && ::prctl(PR_SET_NAME, name, 0, 0, 0) != 0)
        return 1;
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return 1;
    if (std::getenv("LUNORVALE_MAIN_THREAD_ENDS") != nullptr) {
        pthread_t thread;
        if (pthread_create(&thread, nullptr, wait, nullptr) != 0)
            return 1;
        pthread_exit(nullptr);
    }
    for (;;)
        ::pause();
}
