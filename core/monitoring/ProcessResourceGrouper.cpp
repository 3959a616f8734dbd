#include "core/monitoring/ProcessResourceGrouper.h"

#include "core/common/SafeText.h"

#include <QCollator>
#include <QHash>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
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

// A bundle's folder name without its extension, as the library shows it: without what could hide or
// reorder text. Where nothing visible is left, the whole folder name, then `fallback`.
QString bundleName(const QString& path, const QString& fallback) {
    const QString file = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = file.lastIndexOf(u'.');
    return SafeText::oneLine(dot > 0 ? file.left(dot) : file)
        .value_or(SafeText::oneLine(file).value_or(fallback));
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

NameKeys::NameKeys() : m_collator(nameCollator()) {}

const QCollatorSortKey& NameKeys::key(const QString& name) {
    auto found = m_keys.constFind(name);
    if (found == m_keys.cend())
        found = m_keys.insert(name, m_collator.sortKey(name));
    return *found;
}

void NameKeys::trim(qsizetype groups) {
    if (m_keys.size() > 2 * groups + 64)
        m_keys.clear();
}

QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes, ProcessPlatform& platform) {
    NameKeys keys;
    return groups(processes, platform, keys);
}

QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes, ProcessPlatform& platform,
                                       NameKeys& keys) {
    // First the bundle of every process, each distinct bundle path once; then all of them are
    // resolved in one call, and bundles that resolve to the same folder share their group. Bundle
    // paths are views into the executables, so no text is built for a bundle seen before.
    constexpr qsizetype none = -1;
    std::vector<qsizetype> bundleOf(processes.size(), none);
    QList<QStringView> bundles;
    std::vector<qsizetype> bundleFirst; // the first process in each bundle
    QHash<QStringView, qsizetype> bundleIndex;
    QStringList bundleTexts; // owners of the views for bundles whose paths had to be rebuilt
    QStringView lastBundle;
    qsizetype lastBundleIndex = none;
    for (qsizetype i = 0; i < processes.size(); ++i) {
        std::optional<QStringView> bundle;
        if (const QString& executable = processes[i].executable; executable.startsWith(u'/')) {
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
        if (!bundle)
            continue;
        // The processes of one application often follow each other.
        if (*bundle != lastBundle) {
            auto known = bundleIndex.constFind(*bundle);
            if (known == bundleIndex.cend()) {
                known = bundleIndex.insert(*bundle, bundles.size());
                bundles.append(*bundle);
                bundleFirst.push_back(i);
            }
            lastBundle = *bundle;
            lastBundleIndex = *known;
        }
        bundleOf[i] = lastBundleIndex;
    }
    const QStringList resolvedBundles = bundles.isEmpty() ? QStringList() : platform.resolvedPaths(bundles);

    // Outside bundles, the desktop applications the processes were started as: each distinct ID is
    // looked up once.
    std::vector<qsizetype> applicationOf(processes.size(), none);
    QList<QStringView> applications;
    std::vector<qsizetype> applicationFirst;
    QHash<QStringView, qsizetype> applicationIndex;
    for (qsizetype i = 0; i < processes.size(); ++i) {
        const QString& application = processes[i].application;
        if (bundleOf[i] != none || application.isEmpty())
            continue;
        auto known = applicationIndex.constFind(application);
        if (known == applicationIndex.cend()) {
            known = applicationIndex.insert(application, applications.size());
            applications.append(application);
            applicationFirst.push_back(i);
        }
        applicationOf[i] = *known;
    }
    const QList<ApplicationEntry> entries =
        applications.isEmpty() ? QList<ApplicationEntry>() : platform.applicationEntries(applications);

    std::vector<ApplicationResourceGroup> found;
    std::vector<qsizetype> counts;
    std::vector<qsizetype> groupOf(processes.size());
    const auto addGroup = [&](QString id, QString name, std::optional<QString> bundlePath) {
        found.push_back(ApplicationResourceGroup{std::move(id), std::move(name), std::move(bundlePath), {}});
        counts.push_back(0);
        return static_cast<qsizetype>(found.size() - 1);
    };
    std::vector<qsizetype> bundleGroup(static_cast<size_t>(bundles.size()));
    QHash<QString, qsizetype> byResolved;
    for (qsizetype b = 0; b < bundles.size(); ++b) {
        const QString& resolved = resolvedBundles.value(b);
        auto same = byResolved.constFind(resolved);
        if (same == byResolved.cend()) {
            const QString& fallback = processes[bundleFirst[static_cast<size_t>(b)]].displaySource();
            same = byResolved.insert(resolved, addGroup(QStringLiteral("application:") + resolved,
                                                        bundleName(resolved, fallback), resolved));
        }
        bundleGroup[static_cast<size_t>(b)] = *same;
    }
    // IDs whose entries are the same file share their group; an ID without an entry is named by itself.
    std::vector<qsizetype> applicationGroup(static_cast<size_t>(applications.size()));
    QHash<QString, qsizetype> byApplication;
    for (qsizetype a = 0; a < applications.size(); ++a) {
        const QString id = applications[a].toString();
        const ApplicationEntry entry = entries.value(a, ApplicationEntry{id, id, {}});
        const bool hasFile = !entry.path.isEmpty();
        QString groupID = QStringLiteral("application:") + (hasFile ? entry.path : id);
        auto same = byApplication.constFind(groupID);
        if (same == byApplication.cend()) {
            // Entry names are cleaned where they are read; an ID only has no controls.
            QString name = SafeText::oneLine(entry.name.isEmpty() ? id : entry.name)
                               .value_or(processes[applicationFirst[static_cast<size_t>(a)]].displaySource());
            const qsizetype added =
                addGroup(groupID, std::move(name), hasFile ? std::optional(entry.path) : std::nullopt);
            same = byApplication.insert(std::move(groupID), added);
        }
        applicationGroup[static_cast<size_t>(a)] = *same;
    }
    // Process ids and identities match one to one.
    QHash<ProcessIdentity, qsizetype> byIdentity;
    byIdentity.reserve(processes.size());
    for (qsizetype i = 0; i < processes.size(); ++i) {
        const ProcessSample& sample = processes[i];
        qsizetype group;
        if (bundleOf[i] != none) {
            group = bundleGroup[static_cast<size_t>(bundleOf[i])];
        } else if (applicationOf[i] != none) {
            group = applicationGroup[static_cast<size_t>(applicationOf[i])];
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
    keys.trim(static_cast<qsizetype>(found.size()));
    struct Keyed {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(found.size());
    for (size_t g = 0; g < found.size(); ++g)
        keyed.push_back(Keyed{keys.key(found[g].name), static_cast<qsizetype>(g)});
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
