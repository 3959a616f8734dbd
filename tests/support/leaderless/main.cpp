// A program whose main thread ends (pthread_exit) while its second thread runs on: the kernel shows its
// thread-group leader as a zombie with a live thread. With "busy" the second thread keeps a core busy;
// otherwise it waits to be ended. Usage: lunorvale_leaderless [busy]
#include <cstring>
#include <pthread.h>
#include <unistd.h>

namespace {

void* spin(void*) {
    volatile unsigned long turns = 0;
    for (;;)
        turns = turns + 1;
}

void* wait(void*) {
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char** argv) {
    const bool busy = argc > 1 && std::strcmp(argv[1], "busy") == 0;
    pthread_t thread;
    if (pthread_create(&thread, nullptr, busy ? spin : wait, nullptr) != 0)
        return 1;
    pthread_exit(nullptr);
}
