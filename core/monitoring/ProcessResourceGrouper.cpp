#include "core/monitoring/ProcessResourceGrouper.h"

#include <QCollator>
#include <QFile>
#include <QHash>
#include <QLocale>

#include <algorithm>
#include <cstdlib>
#include <memory>

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

} // namespace

std::optional<QString> applicationBundlePath(const QString& executable) {
    if (!executable.startsWith(u'/') || executable.contains(QChar(0)))
        return std::nullopt;
    // Standardizing only removes components, so a bundle folder followed by more is already
    // visible in the raw text; most executables are spared the split.
    if (!executable.contains(QStringLiteral(".app/")))
        return std::nullopt;
    const QStringList components = standardizedComponents(executable);
    if (components.size() < 3)
        return std::nullopt;
    for (qsizetype i = 0; i + 2 < components.size(); ++i) {
        if (components[i].endsWith(QStringLiteral(".app")) && components[i + 1] == QStringLiteral("Contents"))
            return u'/' + components.mid(0, i + 1).join(u'/');
    }
    return std::nullopt;
}

QList<ApplicationResourceGroup> groups(const QList<ProcessSample>& processes) {
    QList<ApplicationResourceGroup> result;
    QHash<QString, qsizetype> indexByID;
    QHash<QString, QString> resolvedCache;

    for (const ProcessSample& sample : processes) {
        QString id;
        QString name;
        std::optional<QString> bundlePath;
        if (const auto bundle = applicationBundlePath(sample.executable)) {
            auto cached = resolvedCache.constFind(*bundle);
            if (cached == resolvedCache.cend())
                cached = resolvedCache.insert(*bundle, resolvedBundlePath(*bundle));
            id = QStringLiteral("application:") + *cached;
            name = nameWithoutExtension(*cached);
            bundlePath = *cached;
        } else {
            id = QStringLiteral("process:") + sample.identity.key();
            name = sample.displaySource();
        }
        auto index = indexByID.constFind(id);
        if (index == indexByID.cend()) {
            index = indexByID.insert(id, result.size());
            result.append(ApplicationResourceGroup{id, name, bundlePath, {}});
        }
        result[*index].members.append(sample);
    }

    for (ApplicationResourceGroup& group : result) {
        std::stable_sort(
            group.members.begin(), group.members.end(),
            [](const ProcessSample& a, const ProcessSample& b) { return a.identity.pid < b.identity.pid; });
    }

    // Sort keys once per group: a collator comparison per pair would dominate the cost.
    const QCollator collator = fileNameCollator();
    struct Keyed {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(result.size());
    for (qsizetype i = 0; i < result.size(); ++i)
        keyed.push_back(Keyed{collator.sortKey(result[i].name), i});
    std::sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        const int order = a.key.compare(b.key);
        if (order != 0)
            return order < 0;
        return result[a.index].id < result[b.index].id;
    });
    QList<ApplicationResourceGroup> sorted;
    sorted.reserve(result.size());
    for (const Keyed& entry : keyed)
        sorted.append(std::move(result[entry.index]));
    return sorted;
}

} // namespace lunorvale::ProcessResourceGrouper
