#include "core/monitoring/ProcessResourceGrouper.h"

#include "platform/UniqueFd.h"

#include <QCollator>
#include <QFile>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace lunorvale::ProcessResourceGrouper {
namespace {

// Components of an absolute path with "." and ".." applied and empty ones left out. A ".." at the
// root stays at the root, as in "/../A.app" = "/A.app" (QDir::cleanPath would keep it).
QStringList standardizedComponents(const QString& path) {
    QStringList components;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QStringLiteral("."))
            continue;
        if (part == QStringLiteral("..")) {
            if (!components.isEmpty())
                components.removeLast();
            continue;
        }
        components.append(part);
    }
    return components;
}

QString standardized(const QString& path) {
    return u'/' + standardizedComponents(path).join(u'/');
}

std::optional<QString> realPath(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(native.constData(), nullptr), &std::free);
    if (!resolved)
        return std::nullopt;
    return QFile::decodeName(resolved.get());
}

// Links are resolved as far as the path exists; a bundle that is gone (an application replaced
// while its processes still run) keeps its missing tail, so its processes still meet in one group.
QString resolvedBundlePath(const QString& bundle) {
    QStringList components = standardizedComponents(bundle);
    QStringList missing;
    while (!components.isEmpty()) {
        if (const auto resolved = realPath(u'/' + components.join(u'/'))) {
            missing.prepend(*resolved);
            return standardized(missing.join(u'/'));
        }
        missing.prepend(components.takeLast());
    }
    return standardized(missing.join(u'/'));
}

// Resolves the bundle paths of one call. Bundles mostly share a few folders (/Applications), so
// each folder is resolved once and opened, and each bundle in it costs one readlinkat of its own
// name instead of a realpath that looks at every component again. Anything unusual (the bundle
// is a link, the folder cannot be opened, an error other than "missing") takes the general way.
class BundleResolver final {
public:
    QString resolve(QStringView bundle) {
        const qsizetype slash = bundle.lastIndexOf(u'/');
        const Folder& folder = folderOf(bundle.first(slash));
        const QStringView name = bundle.sliced(slash + 1);
        if (!folder.exists) {
            // A path below a folder that cannot be resolved cannot be resolved either.
            return standardized(joined(folder.resolved, name));
        }
        if (!folder.fd.valid())
            return resolvedBundlePath(bundle.toString());
        const QByteArray native = name.toUtf8(); // file names are UTF-8 here, as QFile::encodeName has them
        char target[1];
        if (::readlinkat(folder.fd.get(), native.constData(), target, sizeof target) >= 0)
            return resolvedBundlePath(bundle.toString());
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
        return resolvedBundlePath(bundle.toString());
    }

private:
    struct Folder {
        QString resolved;
        bool exists = false;
        UniqueFd fd;
    };

    static QString joined(const QString& folder, QStringView name) {
        QString path;
        path.reserve(folder.size() + 1 + name.size());
        if (folder != QStringLiteral("/"))
            path.append(folder);
        return path.append(u'/').append(name);
    }

    const Folder& folderOf(QStringView path) {
        auto found = m_folders.find(path);
        if (found != m_folders.end())
            return found->second;
        Folder folder;
        const QString absolute = path.isEmpty() ? QStringLiteral("/") : path.toString();
        if (const auto resolved = realPath(absolute)) {
            folder.resolved = *resolved;
            folder.exists = true;
            folder.fd =
                UniqueFd(::open(QFile::encodeName(*resolved).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        } else {
            folder.resolved = resolvedBundlePath(absolute);
        }
        return m_folders.emplace(path.toString(), std::move(folder)).first->second;
    }

    struct Hash {
        using is_transparent = void;
        size_t operator()(QStringView text) const noexcept { return qHash(text); }
    };
    std::unordered_map<QString, Folder, Hash, std::equal_to<>> m_folders;
};

QString nameWithoutExtension(const QString& path) {
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return name;
}

QCollator fileNameCollator() {
    // Qt's C locale compares code points without ICU, which would put "10" before "2".
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The bundle of an executable as a view into it when its text needs no standardizing; otherwise
// (".", ".." or repeated separators before the bundle ends) the general way builds the path.
struct BundleScan {
    bool found = false;
    bool clean = true;
    qsizetype end = 0; // length of the bundle's path in the executable's text when clean
};

// The next '/' at or after `from`, or `size`. Four characters are tested at a time: the path is
// read for every process of every snapshot.
qsizetype nextSeparator(const char16_t* text, qsizetype from, qsizetype size) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t separators = 0x002F002F002F002Full;
        constexpr uint64_t ones = 0x0001000100010001ull;
        constexpr uint64_t highs = 0x8000800080008000ull;
        for (; from + 4 <= size; from += 4) {
            uint64_t word;
            std::memcpy(&word, text + from, sizeof word);
            const uint64_t zeroIfSeparator = word ^ separators;
            // Lanes above the first zero lane may be marked wrongly; the lowest mark is exact.
            const uint64_t marks = (zeroIfSeparator - ones) & ~zeroIfSeparator & highs;
            if (marks != 0)
                return from + std::countr_zero(marks) / 16;
        }
    }
    while (from < size && text[from] != u'/')
        ++from;
    return from;
}

// One pass over the components: the first "X.app" followed by "Contents" and one more component.
// The whole text is still read, since a "." or ".." anywhere changes which components there are.
BundleScan scanBundle(QStringView path) {
    const char16_t* text = path.utf16();
    const qsizetype size = path.size();
    qsizetype found = -1;       // end of the bundle's component
    qsizetype contents = -1;    // end of the first bundle component followed by "Contents"
    qsizetype application = -1; // end of the previous component when it ends with ".app"
    qsizetype firstEmpty = -1;  // where the first repeated separator is
    qsizetype start = 1;
    while (start <= size) {
        const qsizetype end = nextSeparator(text, start, size);
        const qsizetype length = end - start;
        if (length == 0) {
            if (firstEmpty < 0)
                firstEmpty = start;
        } else if (text[start] == u'.' && (length == 1 || (length == 2 && text[start + 1] == u'.'))) {
            return BundleScan{false, false, 0};
        } else if (found < 0) {
            if (contents >= 0)
                found = contents;
            else if (application >= 0 && path.sliced(start, length) == u"Contents")
                contents = application;
            const bool bundle = length >= 4 && text[end - 4] == u'.' && text[end - 3] == u'a' &&
                                text[end - 2] == u'p' && text[end - 1] == u'p';
            application = bundle ? end : -1;
        }
        start = end + 1;
    }
    if (found < 0)
        return BundleScan{};
    // A repeated separator after the bundle does not show in its path.
    return BundleScan{true, firstEmpty < 0 || firstEmpty > found, found};
}

QString processID(const ProcessIdentity& identity) {
    char buffer[48];
    char* end = std::to_chars(buffer, buffer + 20, identity.pid).ptr;
    *end++ = ':';
    end = std::to_chars(end, buffer + sizeof buffer, identity.startTime).ptr;
    static constexpr char16_t prefix[] = u"process:";
    constexpr qsizetype prefixSize = std::size(prefix) - 1;
    QString id(prefixSize + (end - buffer), Qt::Uninitialized);
    QChar* out = std::copy(prefix, prefix + prefixSize, id.data());
    for (const char* digit = buffer; digit != end; ++digit)
        *out++ = QLatin1Char(*digit);
    return id;
}

} // namespace

std::optional<QString> applicationBundlePath(const QString& executable) {
    if (!executable.startsWith(u'/') || executable.contains(QChar(0)))
        return std::nullopt;
    const BundleScan scan = scanBundle(executable);
    if (scan.clean) {
        if (!scan.found)
            return std::nullopt;
        return executable.left(scan.end);
    }
    // Standardizing only removes components, so a bundle folder followed by more is visible in
    // the raw text.
    if (!executable.contains(QStringLiteral(".app/")))
        return std::nullopt;
    const QStringList components = standardizedComponents(executable);
    for (qsizetype i = 0; i + 2 < components.size(); ++i) {
        if (components[i].endsWith(QStringLiteral(".app")) && components[i + 1] == QStringLiteral("Contents"))
            return u'/' + components.mid(0, i + 1).join(u'/');
    }
    return std::nullopt;
}

QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes) {
    std::vector<ApplicationResourceGroup> found;
    std::vector<qsizetype> counts;
    std::vector<qsizetype> groupOf(processes.size());
    // Process ids and identities match one to one, and bundle paths are looked up as views into
    // the executables, so no text is built for a group that already exists.
    QHash<ProcessIdentity, qsizetype> byIdentity;
    QHash<QStringView, qsizetype> byBundle;
    QHash<QString, qsizetype> byResolved;
    QStringList bundleTexts; // owners of the views for bundles whose paths had to be rebuilt
    byIdentity.reserve(processes.size());
    BundleResolver resolver;
    QStringView lastBundle;
    qsizetype lastBundleGroup = -1;

    const auto addGroup = [&](QString id, QString name, std::optional<QString> bundlePath) {
        found.push_back(ApplicationResourceGroup{std::move(id), std::move(name), std::move(bundlePath), {}});
        counts.push_back(0);
        return static_cast<qsizetype>(found.size() - 1);
    };

    for (qsizetype i = 0; i < processes.size(); ++i) {
        const ProcessSample& sample = processes[i];
        std::optional<QStringView> bundle;
        if (const QString& executable = sample.executable; executable.startsWith(u'/')) {
            const BundleScan scan = scanBundle(executable);
            if (scan.clean && scan.found) {
                if (!executable.contains(QChar(0)))
                    bundle = QStringView(executable).first(scan.end);
            } else if (!scan.clean) {
                if (auto path = applicationBundlePath(executable)) {
                    bundleTexts.append(std::move(*path));
                    bundle = QStringView(bundleTexts.last());
                }
            }
        }

        qsizetype group;
        if (bundle && *bundle == lastBundle) {
            // The processes of one application often follow each other.
            group = lastBundleGroup;
        } else if (bundle) {
            auto known = byBundle.constFind(*bundle);
            if (known == byBundle.cend()) {
                const QString resolved = resolver.resolve(*bundle);
                auto same = byResolved.constFind(resolved);
                if (same == byResolved.cend()) {
                    same = byResolved.insert(resolved, addGroup(QStringLiteral("application:") + resolved,
                                                                nameWithoutExtension(resolved), resolved));
                }
                known = byBundle.insert(*bundle, *same);
            }
            group = *known;
            lastBundle = *bundle;
            lastBundleGroup = group;
        } else {
            auto known = byIdentity.constFind(sample.identity);
            if (known == byIdentity.cend()) {
                known = byIdentity.insert(sample.identity,
                                          addGroup(processID(sample.identity), sample.displaySource(), {}));
            }
            group = *known;
        }
        groupOf[i] = group;
        ++counts[group];
    }

    for (size_t g = 0; g < found.size(); ++g)
        found[g].members.reserve(counts[g]);
    for (qsizetype i = 0; i < processes.size(); ++i)
        found[groupOf[i]].members.append(processes[i]);
    const auto byPID = [](const ProcessSample& a, const ProcessSample& b) {
        return a.identity.pid < b.identity.pid;
    };
    for (ApplicationResourceGroup& group : found) {
        if (!std::is_sorted(group.members.cbegin(), group.members.cend(), byPID))
            std::stable_sort(group.members.begin(), group.members.end(), byPID);
    }

    // Sort keys once per group: a collator comparison per pair would dominate the cost.
    const QCollator collator = fileNameCollator();
    struct Keyed {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(found.size());
    for (size_t g = 0; g < found.size(); ++g)
        keyed.push_back(Keyed{collator.sortKey(found[g].name), static_cast<qsizetype>(g)});
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        const int order = a.key.compare(b.key);
        if (order != 0)
            return order < 0;
        return found[a.index].id < found[b.index].id;
    });
    QList<ApplicationResourceGroup> sorted;
    sorted.reserve(found.size());
    for (const Keyed& entry : keyed)
        sorted.append(std::move(found[entry.index]));
    return sorted;
}

} // namespace lunorvale::ProcessResourceGrouper
