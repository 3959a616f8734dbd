#include "platform/BundleProcesses.h"

#include "platform/probes/PathHolds.h"
#include "platform/probes/lv_probes.h"

#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lunorvale {
namespace {

// The names under which the programs of a bundle run: the file names of its regular files with an
// execute bit, anywhere inside it, cut to the kernel's 15 bytes (a process's kernel name is, and so is
// the file name of its argv[0] when compared), found when first asked for; and a bare name that the
// search path finds in the bundle, through a link in a folder of PATH. The walk follows no link and
// goes by path, as deep as the removal's own checks read a bundle; one that cannot be walked whole (a
// folder that cannot be read, more entries than the component check examines, a path longer than the
// system takes) ties every name. A folder that went between its listing and its opening holds nothing
// that could run: the bundle changes while it is checked, and the removal's own checks see that. Each
// name is looked up in PATH once a check: every thread of a closed process is asked about, and a
// program's threads mostly share one name.
class ExecutableNames final {
public:
    ExecutableNames(QByteArray bundle, QByteArray searchPath, const SystemBundleProcesses::FolderOpener& open)
        : m_bundle(std::move(bundle)), m_searchPath(std::move(searchPath)), m_open(open) {}

    static int ask(const char* name, void* context) {
        auto* names = static_cast<ExecutableNames*>(context);
        if (!names->m_walked) {
            names->m_whole = names->walk();
            names->m_walked = true;
        }
        const std::string_view wanted(name);
        if (!names->m_whole || names->m_names.contains(wanted.substr(0, kernelNameLimit)))
            return 1;
        auto known = names->m_searched.find(wanted);
        if (known == names->m_searched.end())
            known = names->m_searched.emplace(std::string(wanted), names->foundInSearchPath(wanted)).first;
        return known->second ? 1 : 0;
    }

private:
    static constexpr int entryLimit = 249999;
    static constexpr size_t kernelNameLimit = 15;

    bool walk() {
        std::vector<std::string> folders{m_bundle.toStdString()};
        int examined = 0;
        while (!folders.empty()) {
            const std::string folder = std::move(folders.back());
            folders.pop_back();
            const int fd = m_open ? m_open(folder.c_str())
                                  : ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // The bundle itself must be there to be walked.
            if (fd < 0 && (errno == ENOENT || errno == ENOTDIR) &&
                folder.size() > static_cast<size_t>(m_bundle.size()))
                continue;
            const std::unique_ptr<DIR, int (*)(DIR*)> listing(fd >= 0 ? ::fdopendir(fd) : nullptr,
                                                              &::closedir);
            if (!listing) {
                if (fd >= 0)
                    ::close(fd);
                return false;
            }
            for (;;) {
                errno = 0;
                const dirent* entry = ::readdir(listing.get());
                if (entry == nullptr) {
                    if (errno != 0)
                        return false;
                    break;
                }
                const std::string_view name(entry->d_name);
                if (name == "." || name == "..")
                    continue;
                if (++examined > entryLimit)
                    return false;
                struct stat info {};
                if (::fstatat(::dirfd(listing.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno == ENOENT) // gone since the listing
                        continue;
                    return false;
                }
                if (S_ISDIR(info.st_mode))
                    folders.push_back(folder + '/' + entry->d_name);
                else if (S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0)
                    m_names.emplace(name.substr(0, kernelNameLimit));
            }
        }
        return true;
    }

    // Whether the program a bare `name` runs, as the first folder of PATH that has an executable file
    // of that name gives it, lies in the bundle.
    bool foundInSearchPath(std::string_view name) {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string_view::npos)
            return false;
        if (!m_resolvedBundle) {
            const std::unique_ptr<char, void (*)(void*)> bundle(::realpath(m_bundle.constData(), nullptr),
                                                                &std::free);
            m_resolvedBundle = bundle ? std::string(bundle.get()) : std::string();
        }
        for (const QByteArray& folder : m_searchPath.split(':')) {
            if (!folder.startsWith('/'))
                continue;
            const std::string candidate = folder.toStdString() + '/' + std::string(name);
            if (::access(candidate.c_str(), X_OK) != 0)
                continue;
            const std::unique_ptr<char, void (*)(void*)> program(::realpath(candidate.c_str(), nullptr),
                                                                 &std::free);
            return !m_resolvedBundle->empty() && program &&
                   probes::pathHolds(*m_resolvedBundle, program.get());
        }
        return false;
    }

    QByteArray m_bundle;
    QByteArray m_searchPath;
    const SystemBundleProcesses::FolderOpener& m_open;
    bool m_walked = false;
    bool m_whole = false;
    std::set<std::string, std::less<>> m_names;
    std::map<std::string, bool, std::less<>> m_searched; // whether PATH finds each name in the bundle
    std::optional<std::string> m_resolvedBundle;         // empty where the bundle cannot be resolved
};

} // namespace

BundleProcesses::Result SystemBundleProcesses::runningFrom(const QString& bundlePath) const {
    const QByteArray path = QFile::encodeName(bundlePath);
    ExecutableNames names(path, qgetenv("PATH"), m_openFolder);
    LVNamedProcess named{};
    const int answer = lv_application_running(path.constData(), &ExecutableNames::ask, &names, &named);
    std::optional<Process> process;
    if (named.pid != 0)
        process = Process{named.pid, QByteArray(named.name)};
    switch (answer) {
    case 0:
        return {Answer::none, std::nullopt};
    case 1:
        return {Answer::running, process};
    default:
        return {Answer::unknown, process};
    }
}

} // namespace lunorvale
