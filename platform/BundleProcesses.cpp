#include "platform/BundleProcesses.h"

#include "platform/probes/lv_probes.h"

#include <QFile>
#include <cerrno>
#include <memory>
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

// The names the kernel gives processes that run the executable files of a bundle: the file names of
// its regular files with an execute bit, anywhere inside it, cut to the kernel's 15 bytes. Found
// when first asked for; links are not followed. A bundle that cannot be walked whole (a folder that
// cannot be read, more entries than the component check examines, folders 256 deep) ties every name.
class ExecutableNames final {
public:
    explicit ExecutableNames(QByteArray bundle) : m_bundle(std::move(bundle)) {}

    static int ask(const char* name, void* context) {
        auto* names = static_cast<ExecutableNames*>(context);
        if (!names->m_walked) {
            names->m_whole = names->walk();
            names->m_walked = true;
        }
        return !names->m_whole || names->m_names.contains(std::string_view(name)) ? 1 : 0;
    }

private:
    static constexpr int entryLimit = 249999;
    static constexpr size_t depthLimit = 256;
    static constexpr size_t kernelNameLimit = 15;

    bool walk() {
        std::vector<std::unique_ptr<DIR, int (*)(DIR*)>> folders;
        const auto enter = [&folders](int parent, const char* name) {
            const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            DIR* folder = fd >= 0 ? ::fdopendir(fd) : nullptr;
            if (folder == nullptr) {
                if (fd >= 0)
                    ::close(fd);
                return false;
            }
            folders.emplace_back(folder, &::closedir);
            return true;
        };
        if (!enter(AT_FDCWD, m_bundle.constData()))
            return false;
        int examined = 0;
        while (!folders.empty()) {
            DIR* folder = folders.back().get();
            errno = 0;
            const dirent* entry = ::readdir(folder);
            if (entry == nullptr) {
                if (errno != 0)
                    return false;
                folders.pop_back();
                continue;
            }
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            if (++examined > entryLimit)
                return false;
            struct stat info {};
            if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT) // gone since the listing
                    continue;
                return false;
            }
            if (S_ISDIR(info.st_mode)) {
                if (folders.size() == depthLimit || !enter(::dirfd(folder), entry->d_name))
                    return false;
            } else if (S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0) {
                m_names.emplace(name.substr(0, kernelNameLimit));
            }
        }
        return true;
    }

    QByteArray m_bundle;
    bool m_walked = false;
    bool m_whole = false;
    std::set<std::string, std::less<>> m_names;
};

} // namespace

BundleProcesses::Result SystemBundleProcesses::runningFrom(const QString& bundlePath) const {
    const QByteArray path = QFile::encodeName(bundlePath);
    ExecutableNames names(path);
    LVProcessInDoubt inDoubt{};
    switch (lv_application_running(path.constData(), &ExecutableNames::ask, &names, &inDoubt)) {
    case 0:
        return {Answer::none, std::nullopt};
    case 1:
        return {Answer::running, std::nullopt};
    default:
        if (inDoubt.pid == 0)
            return {Answer::unknown, std::nullopt};
        return {Answer::unknown, ProcessInDoubt{inDoubt.pid, QByteArray(inDoubt.name)}};
    }
}

} // namespace lunorvale
