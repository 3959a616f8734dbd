// A program of two threads that retitles itself as programs that set their process title do: on each
// SIGUSR1 its second thread writes its first argument over its whole command line, in place. The main
// thread blocks the signal and, once it has started the second thread, sleeps for good: from then on
// only the second thread runs. Usage: lunorvale_retitler TITLE [MORE...]
#include <csignal>
#include <cstring>
#include <pthread.h>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    // The arguments lie one after another, each ending in NUL.
    const auto size = static_cast<size_t>(argv[argc - 1] + std::strlen(argv[argc - 1]) - argv[0]);
    const std::string title = argv[1];
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, SIGUSR1);
    // Blocked in both threads (the second takes the mask over), the signal wakes only sigwait.
    pthread_sigmask(SIG_BLOCK, &wake, nullptr);
    std::thread([&] {
        for (int signal = 0;;) {
            if (sigwait(&wake, &signal) == 0) {
                std::memset(argv[0], 0, size);
                title.copy(argv[0], title.size());
            }
        }
    }).detach();
    for (;;)
        pause();
}
