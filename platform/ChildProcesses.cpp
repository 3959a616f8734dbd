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

namespace {

// The files `program` may be: itself when it names a path, else the name in each folder of PATH in turn
// (the system's default folders when PATH is unset). Empty entries, which would mean the working folder,
// are passed over.
std::vector<QByteArray> candidates(const QString& program) {
    const QByteArray name = QFile::encodeName(program);
    if (name.isEmpty() || name.contains('/'))
        return {name};
    const QByteArray folders = qEnvironmentVariableIsSet("PATH")
                                   ? qgetenv("PATH")
                                   : QByteArrayLiteral("/usr/local/bin:/usr/bin:/bin");
    std::vector<QByteArray> found;
    for (const QByteArray& folder : folders.split(':')) {
        if (!folder.isEmpty())
            found.push_back(folder + '/' + name);
    }
    return found;
}

} // namespace

bool startDetached(const QString& program, const QStringList& arguments) {
    // Everything the children need is prepared before the fork: after it only system calls are safe.
    const std::vector<QByteArray> files = candidates(program);
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
    const auto report = [&pipeEnds](int error) {
        [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &error, sizeof error);
    };
    // The middle child leaves at once, so that the program is nobody's child here.
    const pid_t middle = ::fork();
    if (middle == 0) {
        ::close(pipeEnds[0]);
        ::setsid();
        const pid_t started = ::fork();
        if (started == 0) {
            lv_restore_file_limit();
            // As the shell searches: a folder without the program, or one closed to us, passes on to the
            // next. A file that is there but cannot run (ENOEXEC) ends the search; it is never given to a
            // shell.
            int error = ENOENT;
            bool refused = false;
            for (const QByteArray& file : files) {
                ::execv(file.constData(), argv.data());
                error = errno;
                refused = refused || error == EACCES;
                if (error != ENOENT && error != ENOTDIR && error != EACCES)
                    break;
            }
            report(refused && (error == ENOENT || error == ENOTDIR) ? EACCES : error);
            ::_exit(127);
        }
        if (started < 0)
            report(errno);
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
