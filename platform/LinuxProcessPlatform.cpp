#include "platform/LinuxProcessPlatform.h"

#include "core/common/SafeText.h"

#include "platform/DesktopLaunch.h"
#include "platform/SystemClock.h"
#include "platform/UniqueFd.h"
#include "platform/files/CheckedFiles.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#include <unordered_map>

namespace lunorvale {
namespace {

QString joined(const QString& folder, QStringView name) {
    QString path;
    path.reserve(folder.size() + 1 + name.size());
    if (folder != QStringLiteral("/"))
        path.append(folder);
    return path.append(u'/').append(name);
}

// Links resolved as far as the path exists; the missing rest is appended as given.
QString resolvedAsFarAsItExists(QStringView path) {
    QStringList components;
    for (const QStringView part : path.split(u'/', Qt::SkipEmptyParts))
        components.append(part.toString());
    QStringList missing;
    while (!components.isEmpty()) {
        if (const auto resolved = CheckedFiles::resolvedPath(u'/' + components.join(u'/'))) {
            QString result = *resolved;
            for (const QString& name : missing)
                result = joined(result, name);
            return result;
        }
        missing.prepend(components.takeLast());
    }
    return u'/' + missing.join(u'/');
}

// Resolves the bundle paths of one grouping. Bundles mostly share a few folders (/Applications),
// so each folder is resolved once and opened, and each bundle in it costs one readlinkat of its
// own name instead of a realpath that looks at every component again. Anything unusual (the
// bundle is a link, the folder cannot be opened, an error other than "missing") takes the general
// way.
class BundleResolver final {
public:
    QString resolve(QStringView bundle) {
        const qsizetype slash = bundle.lastIndexOf(u'/');
        if (slash < 0)
            return resolvedAsFarAsItExists(bundle);
        const Folder& folder = folderOf(bundle.first(slash));
        const QStringView name = bundle.sliced(slash + 1);
        // A path below a folder that cannot be resolved cannot be resolved either.
        if (!folder.exists)
            return joined(folder.resolved, name);
        if (!folder.fd.valid())
            return resolvedAsFarAsItExists(bundle);
        const QByteArray native = name.toUtf8(); // file names are UTF-8 here, as QFile::encodeName has them
        char target[1];
        if (::readlinkat(folder.fd.get(), native.constData(), target, sizeof target) >= 0)
            return resolvedAsFarAsItExists(bundle);
        if (errno == EINVAL) {
            // There and no link: the folder's resolved path names it, in the bytes it was found by
            // (the same text unless the name held lone surrogates, which UTF-8 cannot carry).
            const bool sameText =
                std::none_of(name.begin(), name.end(), [](QChar c) { return c.isSurrogate(); });
            return sameText ? joined(folder.resolved, name)
                            : joined(folder.resolved, QString::fromUtf8(native));
        }
        if (errno == ENOENT)
            return joined(folder.resolved, name);
        return resolvedAsFarAsItExists(bundle);
    }

private:
    struct Folder {
        QString resolved;
        bool exists = false;
        UniqueFd fd;
    };

    const Folder& folderOf(QStringView path) {
        auto found = m_folders.find(path);
        if (found != m_folders.end())
            return found->second;
        Folder folder;
        const QString absolute = path.isEmpty() ? QStringLiteral("/") : path.toString();
        if (const auto resolved = CheckedFiles::resolvedPath(absolute)) {
            folder.resolved = *resolved;
            folder.exists = true;
            folder.fd =
                UniqueFd(::open(QFile::encodeName(*resolved).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        } else {
            folder.resolved = resolvedAsFarAsItExists(absolute);
        }
        return m_folders.emplace(path.toString(), std::move(folder)).first->second;
    }

    struct Hash {
        using is_transparent = void;
        size_t operator()(QStringView text) const noexcept { return qHash(text); }
    };
    std::unordered_map<QString, Folder, Hash, std::equal_to<>> m_folders;
};

} // namespace

LinuxProcessPlatform::LinuxProcessPlatform() : m_entries(DesktopEntries::standardFolders()) {}

int LinuxProcessPlatform::collect(std::span<LVProcessRecord> records, uint32_t& skipped) {
    return lv_collect(records.data(), static_cast<int32_t>(std::min<size_t>(records.size(), INT32_MAX)),
                      &skipped);
}

int LinuxProcessPlatform::collectGivingWay(std::span<LVProcessRecord> records, uint32_t& skipped) {
    return lv_collect_giving_way(records.data(),
                                 static_cast<int32_t>(std::min<size_t>(records.size(), INT32_MAX)), &skipped);
}

std::optional<LVProcessRecord> LinuxProcessPlatform::readProcess(int32_t pid) {
    LVProcessRecord record;
    if (lv_read_process(pid, &record) != 1)
        return std::nullopt;
    return record;
}

bool LinuxProcessPlatform::processGone(int32_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Both probes end their text with a NUL and return its length; neither leaves a NUL inside it. Their
// bytes are decoded keeping those that are no UTF-8, so that two files whose names differ there stay
// apart.
QString LinuxProcessPlatform::processPath(int32_t pid) {
    std::array<char, LV_PATH_BUFFER> buffer;
    const int length = lv_process_path(pid, buffer.data(), static_cast<uint32_t>(buffer.size()));
    return SafeText::decoded(QByteArrayView(buffer.data(), std::max(length, 0)));
}

QString LinuxProcessPlatform::processArguments(int32_t pid) {
    // One byte more than is kept tells whether the line was cut.
    std::array<char, LV_ARGS_BUFFER + 1> buffer;
    auto length = static_cast<qsizetype>(lv_process_args(pid, buffer.data(), buffer.size()));
    constexpr qsizetype kept = LV_ARGS_BUFFER - 1;
    if (length <= kept)
        return SafeText::decoded(QByteArrayView(buffer.data(), length));
    // A character the cut splits is left out rather than shown as bytes that are no UTF-8: back over
    // the continuation bytes to the lead byte, which goes with them unless all it announces is kept.
    length = kept;
    qsizetype lead = length;
    while (lead > 0 && length - lead < 4 && (static_cast<unsigned char>(buffer[lead - 1]) & 0xC0) == 0x80)
        --lead;
    if (lead > 0) {
        const auto first = static_cast<unsigned char>(buffer[lead - 1]);
        const qsizetype announced = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
        if (announced > length - lead + 1)
            length = lead - 1;
    }
    return SafeText::decoded(QByteArrayView(buffer.data(), length)) + QStringLiteral("…");
}

bool LinuxProcessPlatform::argumentsUnchanged(int32_t pid) {
    return lv_process_args_unchanged(pid) == 1;
}

std::optional<CPUTicks> LinuxProcessPlatform::cpuTicks() {
    CPUTicks ticks;
    if (lv_cpu_ticks(&ticks.busy, &ticks.total) != 1)
        return std::nullopt;
    return ticks;
}

std::optional<LVSystemMemory> LinuxProcessPlatform::systemMemory() {
    LVSystemMemory memory{};
    if (lv_system_memory(&memory) == 0)
        return std::nullopt;
    return memory;
}

int LinuxProcessPlatform::signalChecked(const ProcessIdentity& identity, uint32_t uid, int signal) {
    return lv_signal_checked(identity.pid, identity.startTime, uid, signal);
}

bool LinuxProcessPlatform::isProtected(const QString& name, const QString& executable) {
    return lv_process_protected(name.toUtf8().constData(), executable.toUtf8().constData()) != 0;
}

uint32_t LinuxProcessPlatform::currentUser() {
    return static_cast<uint32_t>(::getuid());
}

int32_t LinuxProcessPlatform::currentProcess() {
    return static_cast<int32_t>(::getpid());
}

double LinuxProcessPlatform::uptime() {
    return SystemClock::monotonic();
}

double LinuxProcessPlatform::sinceBoot() {
    return SystemClock::sinceBoot();
}

uint64_t LinuxProcessPlatform::startClock() {
    return lv_start_clock_us();
}

QStringList LinuxProcessPlatform::resolvedPaths(const QList<QStringView>& paths) {
    BundleResolver resolver;
    QStringList resolved;
    resolved.reserve(paths.size());
    for (const QStringView path : paths)
        resolved.append(resolver.resolve(path));
    return resolved;
}

std::optional<ApplicationEntry> LinuxProcessPlatform::processApplication(int32_t pid) {
    // Unit names are at most 255 bytes.
    std::array<char, 256> unit;
    const int length = lv_process_unit(pid, unit.data(), static_cast<uint32_t>(unit.size()));
    if (length <= 0)
        return std::nullopt;
    return m_entries.firstFound(
        DesktopLaunch::applicationIDs(std::string_view(unit.data(), static_cast<size_t>(length))));
}

QList<ApplicationEntry> LinuxProcessPlatform::applicationEntries(const QList<QStringView>& ids) {
    return m_entries.entries(ids);
}

void LinuxProcessPlatform::markStale(const ProcessIdentity& identity) {
    const std::lock_guard lock(m_staleLock);
    if (!m_stale.contains(identity))
        m_stale.append(identity);
}

QList<ProcessIdentity> LinuxProcessPlatform::takeStale() {
    const std::lock_guard lock(m_staleLock);
    return std::exchange(m_stale, {});
}

} // namespace lunorvale
