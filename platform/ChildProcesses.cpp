#include "platform/ChildProcesses.h"

#include "platform/probes/lv_probes.h"

#include <QFile>
#include <QProcess>

#include <cerrno>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lunorvale {

void useOriginalLimits(QProcess& process) {
    // Runs in the child between fork and exec, where only async-signal-safe calls are allowed.
    process.setChildProcessModifier([] { lv_restore_file_limit(); });
}

bool startDetached(const QString& program, const QStringList& arguments) {
    // Everything the children need is prepared before the fork: after it only system calls are safe.
    std::vector<QByteArray> texts{QFile::encodeName(program)};
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    // A close-on-exec pipe tells whether the program ran: it closes on exec, or carries errno.
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;
    // The middle child leaves at once, so that the program is nobody's child here.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(pipeEnds[0]);
        ::setsid();
        const pid_t started = ::fork();
        if (started == 0) {
            lv_restore_file_limit();
            ::execvp(argv.front(), argv.data());
        }
        if (started <= 0) {
            const int error = errno;
            [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    int status = 0;
    while (middle > 0 && ::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t count;
    do {
        count = ::read(pipeEnds[0], &error, sizeof error);
    } while (count < 0 && errno == EINTR);
    ::close(pipeEnds[0]);
    return middle > 0 && count == 0;
}

} // namespace lunorvale
