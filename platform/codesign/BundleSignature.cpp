#include "platform/codesign/BundleSignature.h"

#include "platform/SystemClock.h"
#include "platform/UniqueFd.h"
#include "platform/codesign/Digest.h"
#include "platform/files/CheckedFiles.h"
#include "platform/files/PropertyList.h"

#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lunorvale::BundleSignature {
namespace {

constexpr int64_t infoPlistLimit = 1048576;
constexpr int64_t resourceSealLimit = 16 * 1024 * 1024;
constexpr qsizetype hashChunkBytes = 1024 * 1024;

struct Rule {
    QRegularExpression pattern;
    double weight = 1;
    bool omit = false;
};

// Thrown inside the check, caught where it began.
struct OutOfBudget {};
struct RulesTooComplex {};

// The engine's own limits, set at the start of every rule: a pattern may lower them, never raise them,
// and a rule that tries to set them is refused before it gets this far.
QString ruleLimits() {
    const QString steps = QString::number(ruleMatchSteps);
    return QStringLiteral("(*LIMIT_MATCH=") + steps + QStringLiteral(")(*LIMIT_DEPTH=") + steps + u')';
}

UniqueFd openRegularFile(const QString& path) {
    UniqueFd fd(
        ::open(CheckedFiles::encodedName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (!fd.valid() || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return UniqueFd();
    return fd;
}

// The target's text; absent for one that is no UTF-8, which no seal's text can name.
std::optional<QString> linkTarget(const QString& path) {
    char target[4096];
    const ssize_t length = ::readlink(CheckedFiles::encodedName(path).constData(), target, sizeof target);
    if (length < 0 || static_cast<size_t>(length) >= sizeof target)
        return std::nullopt;
    const QByteArrayView bytes(target, length);
    if (!bytes.isValidUtf8())
        return std::nullopt;
    return QString::fromUtf8(bytes);
}

QString stringValue(const QVariantMap& map, const QString& key) {
    const QVariant value = map.value(key);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// The seal's rules, of which only "omit" matters here: every file that no omitting rule outweighs
// must be sealed, whatever else the rules say.
std::optional<std::vector<Rule>> parseRules(const QVariant& value) {
    std::vector<Rule> rules;
    if (!value.isValid())
        return rules;
    if (value.typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    const QVariantMap map = value.toMap();
    if (map.size() > maximumRules)
        throw RulesTooComplex();
    const QString limits = ruleLimits();
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        // Settings of the engine stand at the very start of a pattern; a rule's own would follow ours
        // and replace them.
        if (it.key().startsWith(QStringLiteral("(*")))
            throw RulesTooComplex();
        Rule rule;
        rule.pattern = QRegularExpression(limits + it.key());
        if (!rule.pattern.isValid())
            return std::nullopt;
        if (it.value().typeId() == QMetaType::QVariantMap) {
            const QVariantMap options = it.value().toMap();
            rule.omit = options.value(QStringLiteral("omit")).typeId() == QMetaType::Bool &&
                        options.value(QStringLiteral("omit")).toBool();
            const QVariant weight = options.value(QStringLiteral("weight"));
            if (weight.typeId() == QMetaType::Double || weight.typeId() == QMetaType::LongLong)
                rule.weight = weight.toDouble();
        }
        rules.push_back(std::move(rule));
    }
    return rules;
}

class Checker final {
public:
    Checker(const std::function<void()>& checkpoint, Budget& budget)
        : m_callerCheckpoint(checkpoint), m_budget(budget), m_checkpoint([this] { this->checkpoint(); }) {}

    CodeSignatureCheck bundle(const QString& path, int depth) {
        if (depth > maximumNesting)
            return CodeSignatureCheck::invalid();
        const QString contents = path + QStringLiteral("/Contents");
        const CheckedFiles::ReadResult info = CheckedFiles::readRegularFile(
            contents + QStringLiteral("/Info.plist"), infoPlistLimit, m_checkpoint);
        if (!info.ok())
            return CodeSignatureCheck::notSigned();
        QString executable;
        try {
            executable =
                stringValue(PropertyList::parse(info.bytes).toMap(), QStringLiteral("CFBundleExecutable"));
        } catch (const PropertyListError&) {
            return CodeSignatureCheck::notSigned();
        }
        if (executable.isEmpty() || executable.contains(u'/') || executable == u"." || executable == u"..")
            return CodeSignatureCheck::notSigned();
        const QString relativeExecutable = QStringLiteral("MacOS/") + executable;
        const QString executablePath = contents + u'/' + relativeExecutable;
        if (!CheckedFiles::isAtResolvedPath(executablePath))
            return CodeSignatureCheck::notSigned();
        const UniqueFd code = openRegularFile(executablePath);
        if (!code.valid())
            return CodeSignatureCheck::notSigned();

        const QString sealPath = contents + QStringLiteral("/_CodeSignature/CodeResources");
        std::optional<QByteArray> seal;
        int error = 0;
        if (CheckedFiles::linkStatus(sealPath, &error)) {
            CheckedFiles::ReadResult read =
                CheckedFiles::readRegularFile(sealPath, resourceSealLimit, m_checkpoint);
            if (!read.ok())
                return CodeSignatureCheck::invalid();
            seal = std::move(read.bytes);
        } else if (error != ENOENT) {
            return CodeSignatureCheck::invalid();
        }

        CodeSignatureCheck result =
            CodeSignature::check(FileByteSource(code.get()), {info.bytes, seal}, m_checkpoint);
        if (result.status != CodeSignatureCheck::Status::valid)
            return result;
        // A bundle without a resource seal would leave every file but the executable unsealed.
        if (!seal || !resourcesMatch(contents, relativeExecutable, *seal, depth))
            return CodeSignatureCheck::invalid();
        return result;
    }

private:
    void checkpoint() const {
        if (m_callerCheckpoint)
            m_callerCheckpoint();
        if (!m_budget.timeLeft())
            throw OutOfBudget();
    }

    bool omitted(const QString& relative, const std::vector<Rule>& rules) const {
        const Rule* best = nullptr;
        for (const Rule& rule : rules) {
            if (best != nullptr && rule.weight <= best->weight)
                continue;
            checkpoint();
            if (!m_budget.takeRuleMatch())
                throw RulesTooComplex();
            const QRegularExpressionMatch match = rule.pattern.match(relative);
            // A match that ran into the engine's limits is neither a match nor a miss.
            if (!match.isValid())
                throw RulesTooComplex();
            if (match.hasMatch())
                best = &rule;
        }
        return best != nullptr && best->omit;
    }

    bool resourcesMatch(const QString& contents, const QString& mainExecutable, const QByteArray& sealBytes,
                        int depth) {
        QVariantMap seal;
        try {
            seal = PropertyList::parse(sealBytes).toMap();
        } catch (const PropertyListError&) {
            return false;
        }
        const bool modern = seal.contains(QStringLiteral("files2"));
        const QVariant filesValue = seal.value(modern ? QStringLiteral("files2") : QStringLiteral("files"));
        const std::optional<std::vector<Rule>> rules =
            parseRules(seal.value(modern ? QStringLiteral("rules2") : QStringLiteral("rules")));
        if (filesValue.typeId() != QMetaType::QVariantMap || !rules)
            return false;
        const QVariantMap files = filesValue.toMap();
        if (files.size() > m_budget.entryLimit())
            throw OutOfBudget();

        QSet<QString> seen;
        // Paths below Contents by their bytes: each file is looked at as itself, whatever its name.
        QList<QByteArray> folders{QByteArray()};
        while (!folders.isEmpty()) {
            const QByteArray folder = folders.takeLast();
            QList<QByteArray> names;
            if (!CheckedFiles::forEachName(
                    folder.isEmpty() ? contents : contents + u'/' + CheckedFiles::decodedName(folder),
                    [&names](QByteArrayView name) { names.append(name.toByteArray()); }))
                return false;
            for (const QByteArray& name : std::as_const(names)) {
                checkpoint();
                if (!m_budget.takeEntry())
                    throw OutOfBudget();
                const QByteArray bytes = folder.isEmpty() ? name : folder + '/' + name;
                const QString path = contents + u'/' + CheckedFiles::decodedName(bytes);
                const std::optional<FileNode> node = CheckedFiles::linkStatus(path);
                if (!node)
                    return false;
                // A seal names its files in UTF-8 text: a path that is none is sealed by no entry, not even
                // by the one it reads as with U+FFFD for each byte that is no UTF-8. The rules see it as it
                // reads so, like any file the seal leaves out.
                const bool text = bytes.isValidUtf8();
                const QString relative = QString::fromUtf8(bytes);
                const QVariant entry = text ? files.value(relative) : QVariant();
                if (node->isDirectory()) {
                    if (entry.typeId() == QMetaType::QVariantMap &&
                        entry.toMap().contains(QStringLiteral("cdhash"))) {
                        seen.insert(relative);
                        if (!nestedCodeMatches(path, entry.toMap(), depth, true))
                            return false;
                    } else {
                        folders.append(bytes);
                    }
                    continue;
                }
                // Sealed by the executable's own special slots and page hashes.
                if (text && (relative == u"Info.plist" || relative == u"_CodeSignature/CodeResources" ||
                             relative == mainExecutable)) {
                    seen.insert(relative);
                    continue;
                }
                if (!entry.isValid()) {
                    if (omitted(relative, *rules))
                        continue;
                    return false;
                }
                seen.insert(relative);
                if (!itemMatches(path, *node, entry, depth))
                    return false;
            }
        }
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            if (seen.contains(it.key()))
                continue;
            const QVariant optional = it.value().toMap().value(QStringLiteral("optional"));
            if (optional.typeId() != QMetaType::Bool || !optional.toBool())
                return false;
        }
        return true;
    }

    bool itemMatches(const QString& path, const FileNode& node, const QVariant& entry, int depth) {
        // The first seal format lists a bare SHA-1 per file.
        if (entry.typeId() == QMetaType::QByteArray)
            return node.isRegularFile() && fileDigest(path, node, Digest::Kind::sha1) == entry.toByteArray();
        if (entry.typeId() != QMetaType::QVariantMap)
            return false;
        const QVariantMap map = entry.toMap();
        if (node.isSymbolicLink()) {
            const QString target = stringValue(map, QStringLiteral("symlink"));
            return !target.isEmpty() && linkTarget(path) == target;
        }
        if (!node.isRegularFile())
            return false;
        if (map.contains(QStringLiteral("cdhash")))
            return nestedCodeMatches(path, map, depth, false);
        const QVariant strong = map.value(QStringLiteral("hash2"));
        if (strong.typeId() == QMetaType::QByteArray)
            return fileDigest(path, node, Digest::Kind::sha256) == strong.toByteArray();
        const QVariant weak = map.value(QStringLiteral("hash"));
        return weak.typeId() == QMetaType::QByteArray &&
               fileDigest(path, node, Digest::Kind::sha1) == weak.toByteArray();
    }

    bool nestedCodeMatches(const QString& path, const QVariantMap& entry, int depth, bool isBundle) {
        const QVariant recorded = entry.value(QStringLiteral("cdhash"));
        if (recorded.typeId() != QMetaType::QByteArray)
            return false;
        CodeSignatureCheck nested;
        if (isBundle) {
            nested = bundle(path, depth + 1);
        } else {
            const UniqueFd code = openRegularFile(path);
            if (!code.valid())
                return false;
            nested = CodeSignature::check(FileByteSource(code.get()), {}, m_checkpoint);
        }
        return nested.status == CodeSignatureCheck::Status::valid &&
               nested.uniqueIdentifier == recorded.toByteArray();
    }

    // The hash of the file the walk saw as `node`: a file replaced since, or of another size now, is
    // not hashed at all, and one that grows or shrinks while hashed is refused at the size it had, so
    // a file that some process keeps writing cannot keep the check reading.
    std::optional<QByteArray> fileDigest(const QString& path, const FileNode& node, Digest::Kind kind) {
        const UniqueFd file = openRegularFile(path);
        struct stat opened {};
        if (!file.valid() || ::fstat(file.get(), &opened) != 0 ||
            static_cast<uint64_t>(opened.st_dev) != node.device ||
            static_cast<uint64_t>(opened.st_ino) != node.inode || opened.st_size != node.size)
            return std::nullopt;
        Digest digest(kind);
        QByteArray buffer(hashChunkBytes, Qt::Uninitialized);
        int64_t left = node.size;
        while (left > 0) {
            checkpoint();
            const ssize_t got = ::read(file.get(), buffer.data(),
                                       static_cast<size_t>(std::min<int64_t>(left, buffer.size())));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return std::nullopt;
            digest.add(buffer.constData(), got);
            left -= got;
        }
        if (::fstat(file.get(), &opened) != 0 || opened.st_size != node.size)
            return std::nullopt;
        return digest.result();
    }

    const std::function<void()>& m_callerCheckpoint;
    Budget& m_budget;
    // What every read and every file of the check runs first: the caller's checkpoint and the deadline.
    const std::function<void()> m_checkpoint;
};

} // namespace

Budget::Budget(const Limits& limits)
    : m_uptime(limits.uptime ? limits.uptime : &SystemClock::monotonic),
      m_deadline(m_uptime() + limits.seconds), m_entryLimit(limits.entries),
      m_ruleStepLimit(limits.ruleSteps) {}

CodeSignatureCheck check(const QString& bundlePath, const std::function<void()>& checkpoint, Budget* budget) {
    std::optional<Budget> own;
    if (budget == nullptr)
        budget = &own.emplace();
    try {
        return Checker(checkpoint, *budget).bundle(bundlePath, 0);
    } catch (const OutOfBudget&) {
        return {CodeSignatureCheck::Status::overBudget, {}, {}, {}};
    } catch (const RulesTooComplex&) {
        return {CodeSignatureCheck::Status::rulesTooComplex, {}, {}, {}};
    }
}

} // namespace lunorvale::BundleSignature
