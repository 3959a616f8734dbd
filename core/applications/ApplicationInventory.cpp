#include "core/applications/ApplicationInventory.h"

#include "core/applications/BundlePaths.h"
#include "core/common/NameOrder.h"
#include "core/common/SafeText.h"
#include "platform/files/PropertyList.h"

#include <QCollator>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <system_error>

namespace lunorvale {
namespace {

using namespace BundlePaths;

using Kind = ApplicationManagementGuidance::Kind;

const QString limitIssue = QStringLiteral("已达到扫描上限，列表可能不完整。");

[[noreturn]] void block(const QString& message) {
    throw ApplicationManagementError::blocked(message);
}

// Folders that the Mac's file manager presents as one item (packages). Linux has no such notion;
// these names keep a copied bundle tree from being walked into all the same.
bool isPackageName(const QString& name) {
    static const QSet<QString> extensions = {
        QStringLiteral("app"),        QStringLiteral("appex"),       QStringLiteral("bundle"),
        QStringLiteral("framework"),  QStringLiteral("plugin"),      QStringLiteral("kext"),
        QStringLiteral("xpc"),        QStringLiteral("pkg"),         QStringLiteral("mpkg"),
        QStringLiteral("prefpane"),   QStringLiteral("qlgenerator"), QStringLiteral("saver"),
        QStringLiteral("mdimporter"), QStringLiteral("component"),   QStringLiteral("systemextension"),
        QStringLiteral("dext"),       QStringLiteral("wdgt"),
    };
    const QString extension = pathExtension(name).toLower();
    return !extension.isEmpty() && extensions.contains(extension);
}

// Order by Unicode code point, not by UTF-16 code unit (they differ above U+D7FF).
char32_t codePointOrder(char16_t unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF)
        return char32_t(unit) + 0x2000;
    if (unit >= 0xE000)
        return char32_t(unit) - 0x800;
    return unit;
}

bool codePointLess(const QString& a, const QString& b) {
    const qsizetype common = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < common; ++i) {
        const char16_t x = a.at(i).unicode();
        const char16_t y = b.at(i).unicode();
        if (x != y)
            return codePointOrder(x) < codePointOrder(y);
    }
    return a.size() < b.size();
}

// The first `count` user-perceived characters.
QString prefixCharacters(const QString& text, int count) {
    if (text.size() <= count)
        return text;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int seen = 0;
    qsizetype position = finder.toNextBoundary();
    while (position >= 0) {
        if (++seen == count)
            return text.left(position);
        position = finder.toNextBoundary();
    }
    return text;
}

std::optional<QString> stringValue(const QVariantMap& map, const QString& key) {
    const auto found = map.constFind(key);
    if (found == map.constEnd() || found->typeId() != QMetaType::QString)
        return std::nullopt;
    return found->toString();
}

// A name, identifier or version from a bundle as it may be shown: see SafeText::oneLine. An empty string
// stays empty, but one that held only what draws nothing or reorders the text counts as absent, so the
// next value is used.
std::optional<QString> shownValue(const QVariantMap& map, const QString& key) {
    const std::optional<QString> value = stringValue(map, key);
    if (!value || value->isEmpty())
        return value;
    return SafeText::oneLine(*value);
}

// The bundle's file name without its extension, as it may be shown; the whole file name when that
// leaves nothing.
QString fallbackName(const QString& path) {
    const QString fileName = lastPathComponent(path);
    return SafeText::oneLine(deletingPathExtension(fileName))
        .value_or(SafeText::oneLine(fileName).value_or(QString()));
}

ApplicationManagementGuidance guidance(Kind kind, const QString& reason, const QString& nextStep,
                                       std::optional<QUrl> relatedURL = std::nullopt) {
    return {kind, reason, nextStep, std::move(relatedURL)};
}

// A note about a folder: what happened, then its path shown verbatim.
QString folderIssue(const QString& what, const QString& path) {
    return what + SafeText::verbatim(path);
}

class Walk final {
public:
    Walk(const CancellationToken& cancellation, ApplicationScanLimits limits)
        : m_cancellation(cancellation), m_limits(limits) {}

    void root(const QUrl& root) {
        m_cancellation.check();
        const QString path = pathOf(root);
        if (!CheckedFiles::exists(path)) {
            m_issues.append(folderIssue(QStringLiteral("目录不存在或不可访问："), path));
            return;
        }
        if (!isLocalFileURL(root) || !CheckedFiles::isAtResolvedPath(path)) {
            m_issues.append(folderIssue(QStringLiteral("未跟随目录链接："), path));
            return;
        }
        visit(path, 0);
    }

    ApplicationScan result(const QList<QUrl>& roots) {
        // The library page orders by the same collator: the first application here, which a scan selects,
        // is the page's top row.
        const QCollator collator = nameCollator();
        std::stable_sort(m_applications.begin(), m_applications.end(),
                         [&collator](const InstalledApplication& a, const InstalledApplication& b) {
                             return collator.compare(a.shownName(), b.shownName()) < 0;
                         });
        m_issues.removeDuplicates();
        std::sort(m_issues.begin(), m_issues.end(), codePointLess);
        return ApplicationScan{m_applications, m_issues, roots};
    }

private:
    bool limitReached() const {
        return m_entries >= m_limits.entries || m_applications.size() >= m_limits.applications;
    }

    void visit(const QString& folder, int depth) {
        m_cancellation.check();
        if (limitReached()) {
            if (!m_issues.contains(limitIssue))
                m_issues.append(limitIssue);
            return;
        }
        // Only the first names in order can be reached before the entry limit stops the walk (one more
        // than the remaining entries, to notice the limit), so only those are kept: a folder of millions
        // of entries costs no more memory than a small one.
        const qsizetype reachable = m_limits.entries - m_entries + 1;
        QStringList names; // a heap whose front is the greatest name kept
        const bool listed = CheckedFiles::forEachName(folder, [&](QByteArrayView bytes) {
            if (bytes.startsWith('.'))
                return;
            QString name = SafeText::decoded(bytes);
            if (names.size() < reachable) {
                names.append(std::move(name));
                std::push_heap(names.begin(), names.end(), codePointLess);
            } else if (codePointLess(name, names.front())) {
                std::pop_heap(names.begin(), names.end(), codePointLess);
                names.back() = std::move(name);
                std::push_heap(names.begin(), names.end(), codePointLess);
            }
        });
        if (!listed) {
            m_issues.append(folderIssue(QStringLiteral("无法读取："), folder));
            return;
        }
        // Paths in one folder share their prefix: ordering the names orders the paths.
        std::sort_heap(names.begin(), names.end(), codePointLess);

        for (const QString& name : std::as_const(names)) {
            const QString entry = childPath(folder, name);
            m_cancellation.check();
            ++m_entries;
            if (m_entries > m_limits.entries || m_applications.size() > m_limits.applications - 1) {
                m_issues.append(limitIssue);
                return;
            }
            // A name that is no UTF-8 keeps its bytes (SafeText::decoded), so that its note shows them, one
            // note for each such name. What the library finds goes on by the UTF-8 of its path (to the Trash,
            // the receipts, the file manager), in which those bytes are lost: the path would name another
            // file there, so it is not opened at all.
            const bool opens = SafeText::decoded(QFile::encodeName(name)) == name;
            const std::optional<FileNode> node = opens ? CheckedFiles::linkStatus(entry) : std::nullopt;
            if (!node) {
                m_issues.append(folderIssue(QStringLiteral("无法读取："), entry));
                continue;
            }
            // Tested before the folder test: a bundle is never walked into, whatever it is on disk.
            if (pathExtension(name).toLower() == u"app") {
                m_applications.append(ApplicationInventory::read(QUrl::fromLocalFile(entry), m_cancellation));
                continue;
            }
            if (node->isDirectory() && !isPackageName(name)) {
                if (depth > 2) {
                    m_issues.append(folderIssue(QStringLiteral("未继续扫描较深目录："), entry));
                    continue;
                }
                try {
                    visit(entry, depth + 1);
                } catch (const CancellationError&) {
                    throw;
                } catch (const std::exception&) {
                    m_issues.append(folderIssue(QStringLiteral("无法读取："), entry));
                }
            }
        }
    }

    const CancellationToken& m_cancellation;
    const ApplicationScanLimits m_limits;
    int m_entries = 0;
    QList<InstalledApplication> m_applications;
    QStringList m_issues;
};

} // namespace

QList<QUrl> ApplicationInventory::defaultRoots() {
    // The home folder may lie below a link (/home → var/home on image-based systems). Where it lies is the
    // system's choice, not something a bundle could have planted, so it is resolved first; the walk still
    // refuses a link anywhere below it, the Applications folder included.
    const QString home = CheckedFiles::resolvedPath(QDir::homePath()).value_or(QDir::homePath());
    return {QUrl::fromLocalFile(QStringLiteral("/Applications")),
            QUrl::fromLocalFile(QDir(home).filePath(QStringLiteral("Applications"))),
            QUrl::fromLocalFile(QStringLiteral("/System/Applications"))};
}

ApplicationScan ApplicationInventory::scan(const CancellationToken& cancellation) const {
    Walk walk(cancellation, m_limits);
    for (const QUrl& root : m_roots)
        walk.root(root);
    return walk.result(m_roots);
}

InstalledApplication ApplicationInventory::read(const QUrl& bundle, const CancellationToken& cancellation) {
    QString restriction;
    try {
        return checkedRead(bundle, cancellation);
    } catch (const CancellationError&) {
        throw;
    } catch (const ApplicationManagementError& error) {
        restriction = error.errorDescription();
    } catch (...) {
        restriction = QStringLiteral("应用信息无法读取或结构异常，未开放移除操作。");
    }
    return InstalledApplication(bundle, fallbackName(pathOf(bundle)), QString(), QStringLiteral("未知"),
                                QString(), std::nullopt, restriction, std::nullopt);
}

InstalledApplication ApplicationInventory::checkedRead(const QUrl& bundle,
                                                       const CancellationToken& cancellation) {
    const auto [identity, info] = metadata(bundle, cancellation);
    const QString path = pathOf(bundle);

    // The tests below judge the identifier that is shown, so that what the user sees is what was judged.
    const QString bundleID = shownValue(info, QStringLiteral("CFBundleIdentifier")).value_or(QString());
    // The executable is a file name to look for, never shown: it stays as the bundle gives it.
    const QString executable = stringValue(info, QStringLiteral("CFBundleExecutable")).value_or(QString());
    const std::optional<QString> bundleName = shownValue(info, QStringLiteral("CFBundleName"));
    QString name = shownValue(info, QStringLiteral("CFBundleDisplayName"))
                       .value_or(bundleName.value_or(fallbackName(path)));
    // An empty name is kept as the bundle gives it; what is shown is the next name that shows something.
    QString shownName = !name.isEmpty()                        ? name
                        : bundleName && !bundleName->isEmpty() ? *bundleName
                                                               : fallbackName(path);

    // Each test that matches replaces what an earlier one found.
    std::optional<ApplicationManagementGuidance> found;
    if (path.startsWith(QStringLiteral("/System/")) || bundleID.startsWith(QStringLiteral("com.apple.")))
        found = guidance(Kind::protected_, QStringLiteral("Apple 应用受保护。"),
                         QStringLiteral("请使用系统或官方提供的管理方式。"));
    if (bundleID == u"dev.lunorvale.mac")
        found = guidance(Kind::protected_, QStringLiteral("岚栖不在自身运行时移除岚栖。"),
                         QStringLiteral("请先关闭登录启动、保存设置并退出，再在文件管理器中处理。"));
    if (bundleID.isEmpty() || executable.isEmpty() || executable.contains(u'/') || executable == u"." ||
        executable == u"..")
        found = guidance(Kind::unverified, QStringLiteral("应用标识或可执行文件信息不完整。"),
                         QStringLiteral("请在文件管理器中核对应用，或使用原安装方式管理。"));

    if (!found && info.contains(QStringLiteral("SMPrivilegedExecutables")))
        found = guidance(Kind::vendorManaged, QStringLiteral("应用声明了特权后台组件。"),
                         QStringLiteral("请先打开应用查看卸载选项，或使用厂商的卸载说明。"));
    if (!found) {
        for (const char* component :
             {"LaunchServices", "LaunchAgents", "LaunchDaemons", "SystemExtensions"}) {
            const QUrl location =
                childURL(bundle, QStringLiteral("Contents/Library/") + QLatin1String(component));
            if (CheckedFiles::exists(pathOf(location))) {
                found = guidance(Kind::vendorManaged, QStringLiteral("发现后台服务或系统组件。"),
                                 QStringLiteral("请使用厂商的卸载方式；可在文件管理器中查看发现的组件。"),
                                 location);
                break;
            }
        }
    }

    std::optional<QString> restriction;
    if (found)
        restriction = found->reason + u' ' + found->nextStep;
    // Login items inside the bundle need extra checks at removal, but do not restrict it.
    if (!found && CheckedFiles::exists(pathOf(childURL(bundle, loginItemsFolder()))))
        found = guidance(Kind::embeddedLoginItems,
                         QStringLiteral("程序包内包含登录助手，需要额外检查其结构、签名和运行状态。"),
                         QStringLiteral("先在原应用中关闭登录启动并退出；检查通过后可一起移走程序包。"));

    name = prefixCharacters(name, 200);
    shownName = prefixCharacters(shownName, 200);
    // An empty version tells as little as none; shown, it would leave its separator standing alone.
    const std::optional<QString> givenVersion =
        shownValue(info, QStringLiteral("CFBundleShortVersionString"));
    const QString version = prefixCharacters(
        givenVersion && !givenVersion->isEmpty() ? *givenVersion : QStringLiteral("未知"), 80);
    return InstalledApplication(bundle, name, prefixCharacters(bundleID, 300), version, executable, identity,
                                restriction, found, shownName);
}

FileNode ApplicationInventory::node(const QUrl& url) {
    if (!isLocalFileURL(url))
        block(QStringLiteral("仅支持本地文件地址，请重新扫描应用。"));
    const std::optional<FileNode> status = CheckedFiles::linkStatus(pathOf(url));
    if (!status)
        block(QStringLiteral("目标不存在或无法读取，请重新扫描。"));
    return *status;
}

bool ApplicationInventory::pathIsUnlinked(const QUrl& url, bool allowMissing) {
    if (!isLocalFileURL(url))
        return false;
    QString candidate = pathOf(url);
    while (candidate.startsWith(u'/')) {
        int error = 0;
        if (const std::optional<QString> resolved = CheckedFiles::resolvedPath(candidate, &error))
            return *resolved == candidate;
        if (!allowMissing || error != ENOENT || candidate == u"/" || CheckedFiles::linkStatus(candidate))
            return false;
        const qsizetype slash = candidate.lastIndexOf(u'/');
        candidate = slash == 0 ? QStringLiteral("/") : candidate.left(slash);
    }
    return false;
}

QByteArray ApplicationInventory::readRegularFile(const QUrl& url, int64_t maximumBytes,
                                                 const CancellationToken& cancellation) {
    if (!isLocalFileURL(url))
        block(readFailureSentence(CheckedFiles::ReadResult::Failure::notAtResolvedPath));
    CheckedFiles::ReadResult result =
        CheckedFiles::readRegularFile(pathOf(url), maximumBytes, [&cancellation] { cancellation.check(); });
    if (result.ok())
        return std::move(result.bytes);
    if (result.failure == CheckedFiles::ReadResult::Failure::readFailed)
        throw std::system_error(result.errorNumber, std::generic_category());
    block(readFailureSentence(result.failure));
}

QString ApplicationInventory::readFailureSentence(CheckedFiles::ReadResult::Failure failure) {
    using Failure = CheckedFiles::ReadResult::Failure;
    switch (failure) {
    case Failure::notAtResolvedPath:
        return QStringLiteral("文件位置存在链接或已变化，无法安全读取。");
    case Failure::none:
    case Failure::openFailed:
    case Failure::readFailed:
        break;
    case Failure::notRegularFile:
    case Failure::tooLarge:
        return QStringLiteral("文件不是普通文件或超过读取上限，操作已停止。");
    case Failure::vanished:
        // What node() says when the path cannot be found again.
        return QStringLiteral("目标不存在或无法读取，请重新扫描。");
    case Failure::changed:
        return QStringLiteral("文件在读取时变化或超过读取上限，请重新检查。");
    }
    return QStringLiteral("文件无法读取，操作已停止。");
}

std::pair<ApplicationIdentity, QVariantMap>
ApplicationInventory::metadata(const QUrl& bundle, const CancellationToken& cancellation) {
    const FileNode folder = node(bundle);
    if (!folder.isDirectory() || !isLocalFileURL(bundle) || !CheckedFiles::isAtResolvedPath(pathOf(bundle)))
        block(QStringLiteral("此项目是链接或不是普通应用目录，请使用原安装方式管理。"));
    const QByteArray bytes = readRegularFile(childURL(bundle, QStringLiteral("Contents/Info.plist")),
                                             propertyListLimit, cancellation);
    const QVariant parsed = PropertyList::parse(bytes);
    if (parsed.typeId() != QMetaType::QVariantMap)
        block(QStringLiteral("无法确认应用结构，未开放移除操作。"));
    QVariantMap info = parsed.toMap();
    if (stringValue(info, QStringLiteral("CFBundlePackageType")) != QStringLiteral("APPL"))
        block(QStringLiteral("无法确认应用结构，未开放移除操作。"));
    ApplicationIdentity identity{
        folder.device, folder.inode,
        QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex())};
    return {std::move(identity), std::move(info)};
}

int64_t ApplicationInventory::bundleSize(const InstalledApplication& application,
                                         const CancellationToken& cancellation) {
    const QString changed = QStringLiteral("应用已变化，请重新扫描。");
    const QString incomplete = QStringLiteral("读取不完整或应用已变化，程序大小暂不可用。");
    if (!application.identity())
        block(changed);
    if (metadata(application.url(), cancellation).first != *application.identity())
        block(changed);

    const QString tooMany = QStringLiteral("文件过多，程序大小暂不可用。");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(sizeWalkSeconds);
    int64_t total = 0;
    int64_t items = 0;
    // Names listed but not yet counted. Every one of them will be counted unless the walk fails first,
    // so once items and pending names pass the limit the result is known: a listing stops there instead
    // of holding a huge folder's names in memory.
    int64_t pending = 0;
    QSet<std::pair<uint64_t, uint64_t>> seen;
    struct Listing {
        QString folder;
        QStringList names;
    };
    const auto list = [&](const QString& folder) -> std::optional<Listing> {
        Listing listing{folder, {}};
        bool overLimit = false;
        const bool listed = CheckedFiles::forEachName(folder, [&](QByteArrayView name) {
            if (overLimit)
                return;
            if (items + pending + listing.names.size() >= sizeWalkItemLimit)
                overLimit = true;
            else
                listing.names.append(SafeText::decoded(name));
        });
        if (!listed)
            return std::nullopt;
        if (overLimit)
            block(tooMany);
        pending += listing.names.size();
        return listing;
    };

    const QString root = pathOf(application.url());
    std::optional<Listing> rootListing = list(root);
    if (!rootListing)
        block(QStringLiteral("无法计算程序大小。"));

    bool failed = false;
    // Hidden names are counted and packages inside are entered; links are never followed.
    QList<Listing> stack{std::move(*rootListing)};
    while (!stack.isEmpty() && !failed) {
        const Listing current = stack.takeLast();
        for (const QString& name : current.names) {
            cancellation.check();
            --pending;
            ++items;
            if (items > sizeWalkItemLimit || std::chrono::steady_clock::now() >= deadline)
                block(tooMany);
            const QString path = childPath(current.folder, name);
            const FileNode item = node(QUrl::fromLocalFile(path));
            if (item.isRegularFile()) {
                if (!seen.contains({item.device, item.inode})) {
                    seen.insert({item.device, item.inode});
                    total += std::max<int64_t>(item.size, 0);
                }
            } else if (item.isDirectory()) {
                std::optional<Listing> listing = list(path);
                if (!listing) {
                    failed = true;
                    break;
                }
                stack.append(std::move(*listing));
            }
        }
    }
    if (failed)
        block(incomplete);
    if (metadata(application.url(), cancellation).first != *application.identity())
        block(incomplete);
    return total;
}

} // namespace lunorvale
