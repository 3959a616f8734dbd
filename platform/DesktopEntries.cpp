#include "platform/DesktopEntries.h"

#include "core/common/SafeText.h"
#include "platform/Paths.h"
#include "platform/files/CheckedFiles.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>

#include <string>
#include <string_view>
#include <sys/stat.h>

namespace lunorvale {
namespace {

// Real entries, even with every translation of their actions, stay far below this.
constexpr int64_t readLimit = 256 * 1024;
// Lines longer than this hold nothing worth showing as a name and are passed over.
constexpr size_t lineLimit = 4096;
// IDs come from the units of the user's processes; past this many, what was kept starts afresh.
constexpr qsizetype keptLimit = 1024;

// A value with the escapes of desktop entries undone, in UTF-8, as SafeText shows a name (without
// control characters with their terminal escape sequences, bidirectional marks and characters that draw
// nothing, on one line); absent when nothing is left or it is not UTF-8.
std::optional<QString> usableValue(std::string_view value) {
    std::string bytes;
    bytes.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            bytes.push_back(value[i]);
            continue;
        }
        switch (value[++i]) {
        case 's':
            bytes.push_back(' ');
            break;
        case 'n':
        case 't':
        case 'r':
            bytes.push_back(' ');
            break;
        case '\\':
            bytes.push_back('\\');
            break;
        default:
            bytes.push_back('\\');
            bytes.push_back(value[i]);
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (decoder.hasError())
        return std::nullopt;
    // A value of nothing visible counts as absent, so that it cannot hide the next name or the ID.
    return SafeText::oneLine(text);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

QStringList DesktopEntries::standardFolders() {
    QStringList folders{Paths::dataHome() + QStringLiteral("/applications")};
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share/:/usr/share/");
    for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
        // XDG base directories ignore relative entries.
        if (!QDir::isAbsolutePath(dir))
            continue;
        QString folder = QDir::cleanPath(dir + QStringLiteral("/applications"));
        if (!folders.contains(folder))
            folders.append(std::move(folder));
    }
    return folders;
}

DesktopEntries::DesktopEntries(QStringList folders) : m_folders(std::move(folders)) {}

std::optional<QString> DesktopEntries::name(QByteArrayView text) {
    // Best first: a name found for an earlier key ends the search.
    constexpr std::string_view keys[] = {"Name[zh_CN]", "Name[zh]", "Name"};
    std::optional<QString> found[std::size(keys)];
    std::string_view rest(text.data(), static_cast<size_t>(text.size()));
    bool inEntry = false;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#' || line.size() > lineLimit ||
            line.find('\0') != std::string_view::npos)
            continue;
        if (line.front() == '[') {
            // The entry's group comes first; whatever follows it is another group's.
            if (inEntry || line != "[Desktop Entry]")
                break;
            inEntry = true;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inEntry || equals == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, equals));
        for (size_t k = 0; k < std::size(keys); ++k) {
            if (key != keys[k] || found[k])
                continue;
            found[k] = usableValue(trimmed(line.substr(equals + 1)));
            if (k == 0 && found[k])
                return found[k];
        }
    }
    for (const std::optional<QString>& name : found) {
        if (name)
            return name;
    }
    return std::nullopt;
}

DesktopEntries::Stamp DesktopEntries::stampOf(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    return Stamp{static_cast<uint64_t>(info.st_dev),
                 static_cast<uint64_t>(info.st_ino),
                 static_cast<int64_t>(info.st_size),
                 static_cast<int64_t>(info.st_mtim.tv_sec),
                 static_cast<int64_t>(info.st_mtim.tv_nsec),
                 S_ISREG(info.st_mode),
                 true};
}

void DesktopEntries::checkFolders() {
    std::vector<Stamp> stamps;
    stamps.reserve(static_cast<size_t>(m_folders.size()));
    for (const QString& folder : m_folders)
        stamps.push_back(stampOf(folder));
    if (stamps != m_folderStamps) {
        m_kept.clear();
        m_folderStamps = std::move(stamps);
    }
}

const DesktopEntries::Kept& DesktopEntries::lookUp(const QString& id) {
    if (const auto kept = m_kept.constFind(id);
        kept != m_kept.cend() && (kept->path.isEmpty() || stampOf(kept->path) == kept->stamp))
        return *kept;
    Kept found;
    const QString fileName = id + QStringLiteral(".desktop");
    // An ID with a slash would leave the folders; the unit parser never gives one.
    if (!id.contains(u'/')) {
        for (const QString& folder : m_folders) {
            QString path = folder + u'/' + fileName;
            const Stamp stamp = stampOf(path);
            if (!stamp.exists || !stamp.regular)
                continue;
            const CheckedFiles::PrefixRead read = CheckedFiles::readPrefix(path, readLimit);
            if (read.status != CheckedFiles::PrefixRead::Status::read)
                continue;
            found.name = name(read.bytes).value_or(id);
            found.path = std::move(path);
            found.stamp = stamp;
            break;
        }
    }
    if (found.path.isEmpty())
        found.name = id;
    if (m_kept.size() >= keptLimit)
        m_kept.clear();
    return *m_kept.insert(id, std::move(found));
}

QList<ApplicationEntry> DesktopEntries::entries(const QList<QStringView>& ids) {
    const std::lock_guard lock(m_lock);
    checkFolders();
    QList<ApplicationEntry> entries;
    entries.reserve(ids.size());
    for (const QStringView view : ids) {
        QString id = view.toString();
        const Kept& kept = lookUp(id);
        entries.append(ApplicationEntry{std::move(id), kept.name, kept.path});
    }
    return entries;
}

std::optional<ApplicationEntry> DesktopEntries::firstFound(const QStringList& ids) {
    if (ids.isEmpty())
        return std::nullopt;
    const std::lock_guard lock(m_lock);
    checkFolders();
    for (const QString& id : ids) {
        const Kept& kept = lookUp(id);
        if (!kept.path.isEmpty() || &id == &ids.last())
            return ApplicationEntry{id, kept.name, kept.path};
    }
    return std::nullopt;
}

} // namespace lunorvale
