// A process whose files in /proc, its executable link among them, are closed to its own user, as those
// of a setgid program such as ssh-agent are: it makes itself non-dumpable and waits to be ended. Where
// LUNORVALE_PROCESS_NAME is set, it first takes that name, as a program may rename itself; where
// LUNORVALE_MAIN_THREAD_ENDS is set, its main thread then ends while a second thread waits on. Where
// LUNORVALE_MAIN_THREAD_NAME is set, a second thread keeps the name the process had, while the main thread
// takes that name and writes it over the arguments; where the main thread ends, the first thread to wait on
// takes that name too, so that a thread keeping the old one comes only after it. Where LUNORVALE_THREADS is
// set to N, N - 1 more threads wait beside it, all there before its link closes, as a busy program's do.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

void* wait(void*) {
    for (;;)
        ::pause();
}

// A thread starts with the name of the thread that starts it.
bool startWaiting(const char* name) {
    pthread_t thread;
    return ::prctl(PR_SET_NAME, name, 0, 0, 0) == 0 && pthread_create(&thread, nullptr, wait, nullptr) == 0;
}

} // namespace

int main(int argc, char** argv) {
    const char* name = std::getenv("LUNORVALE_PROCESS_NAME");
    if (name != nullptr && ::prctl(PR_SET_NAME, name, 0, 0, 0) != 0)
        return 1;
    const bool mainThreadEnds = std::getenv("LUNORVALE_MAIN_THREAD_ENDS") != nullptr;
    bool waiting = false;
    if (const char* mainName = std::getenv("LUNORVALE_MAIN_THREAD_NAME")) {
        char kept[16] = {};
        if (::prctl(PR_GET_NAME, kept, 0, 0, 0) != 0 || (mainThreadEnds && !startWaiting(mainName)) ||
            !startWaiting(kept) || ::prctl(PR_SET_NAME, mainName, 0, 0, 0) != 0)
            return 1;
        waiting = true;
        // The arguments lie one after the other, each ending in a NUL: the new name goes over them, cut to
        // leave the last NUL, and NULs fill the rest.
        if (argc > 0) {
            const auto room = static_cast<size_t>(argv[argc - 1] + std::strlen(argv[argc - 1]) - argv[0]);
            std::memset(argv[0], 0, room);
            std::memcpy(argv[0], mainName, std::min(std::strlen(mainName), room));
        }
    }
    if (const char* threads = std::getenv("LUNORVALE_THREADS")) {
        for (int more = std::atoi(threads) - 1; more > 0; --more) {
            pthread_t thread;
            if (pthread_create(&thread, nullptr, wait, nullptr) != 0)
                return 1;
        }
    }
    if (::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) != 0)
        return 1;
    if (mainThreadEnds) {
        pthread_t thread;
        if (!waiting && pthread_create(&thread, nullptr, wait, nullptr) != 0)
            return 1;
        pthread_exit(nullptr);
    }
    for (;;)
        ::pause();
}
