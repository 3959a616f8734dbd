#include "platform/desktop/TerminationSignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lunorvale {

namespace {
// A signal handler can reach nothing but globals; it only writes the signal number into this pipe.
volatile sig_atomic_t writeFd = -1;
constexpr int caught[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    if (writeFd >= 0) {
        const ssize_t written = ::write(writeFd, &byte, 1);
        static_cast<void>(written);
    }
    errno = saved;
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_readFd = fds[0];
    writeFd = fds[1];
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : caught)
        ::sigaction(number, &action, nullptr);
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignals::drain);
}

TerminationSignals::~TerminationSignals() {
    if (m_readFd < 0)
        return;
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : caught)
        ::sigaction(number, &action, nullptr);
    const int fd = writeFd;
    writeFd = -1;
    ::close(fd);
    ::close(m_readFd);
}

void TerminationSignals::drain() {
    unsigned char bytes[16];
    ssize_t count;
    while ((count = ::read(m_readFd, bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            emit received(bytes[i]);
    }
}

} // namespace lunorvale
