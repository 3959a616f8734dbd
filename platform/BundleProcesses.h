#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace lunorvale {

// Whether code from inside an application bundle is running as one of the current user's processes.
class BundleProcesses {
public:
    enum class Answer {
        none,
        running, // a process runs an executable at or below the bundle's path
        unknown, // a process that could not be inspected may run it, or the process list could not be read
    };

    // A process whose program cannot be read, named for the user, who cannot tell it by its program.
    struct Process {
        int32_t pid = 0;
        QByteArray name; // the kernel's name for it, as read (at most 15 bytes; may be empty)
    };

    struct Result {
        Answer answer = Answer::none;
        // With `running`, where the process found is one whose argv[0] alone places it in the bundle; with
        // `unknown`, where a process left the answer open while its arguments or its names tie it.
        std::optional<Process> process;
    };

    virtual ~BundleProcesses() = default;
    virtual Result runningFrom(const QString& bundlePath) const = 0;
};

// The answer of the process probes: each process's executable link, or, where the link is closed to its
// own user or names the dynamic loader, a program its arguments give (argv[0], or the loader's) that is a
// file in the bundle. Such a process otherwise counts only where one of its arguments names a path in the
// bundle (also after an '='), or the kernel name of any of its threads or its program's file name is
// that of an executable file in the bundle or finds one there through PATH; the bundle is walked for
// those names once, when such a process is first met, and each name is looked up in PATH once a check.
class SystemBundleProcesses final : public BundleProcesses {
public:
    // Opens a folder of the bundle for that walk, without following a link at its end: a descriptor, or
    // -1 with errno set. Tests stand in for a folder that goes while the bundle is walked.
    using FolderOpener = std::function<int(const char* path)>;

    explicit SystemBundleProcesses(FolderOpener openFolder = {}) : m_openFolder(std::move(openFolder)) {}
    Result runningFrom(const QString& bundlePath) const override;

private:
    FolderOpener m_openFolder;
};

} // namespace lunorvale
