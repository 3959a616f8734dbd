#include "core/applications/ApplicationInventory.h"
#include "core/applications/ApplicationRemovalService.h"
#include "core/applications/BundlePaths.h"
#include "core/applications/RunningBundles.h"
#include "core/common/SafeText.h"
#include "platform/SystemClock.h"
#include "platform/codesign/BundleSignature.h"
#include "platform/codesign/MachO.h"
#include "platform/files/CheckedFiles.h"
#include "platform/files/PropertyList.h"

#include <QDir>
#include <algorithm>
#include <cerrno>

namespace lunorvale {
namespace {

using namespace BundlePaths;
using Kind = ApplicationManagementGuidance::Kind;

constexpr int loginItemLimit = 64;

[[noreturn]] void block(const QString& message) {
    throw ApplicationManagementError::blocked(message);
}

ApplicationManagementError vendorManaged(const QString& reason, std::optional<QUrl> related = std::nullopt) {
    return ApplicationManagementError::guidance(
        {Kind::vendorManaged, reason,
         QStringLiteral("请先查看厂商的卸载方式；发现的项目只供文件管理器定位，不会自动运行或删除。"),
         std::move(related)});
}

ApplicationManagementError unreadableConfiguration(const QUrl& related) {
    return ApplicationManagementError::guidance(
        {Kind::unverified, QStringLiteral("有后台服务配置无法读取，尚不能确认它是否与所选应用有关。"),
         QStringLiteral("可定位此配置核对其所属软件，修复后重新检查；岚栖不会修改它。"), related});
}

const QString tooMuchContent =
    QStringLiteral("应用内容较多，本次检查未完成。请重新检查，或在文件管理器中使用厂商的管理方式。");
const QString unreadableContent = QStringLiteral("部分应用内容不可读取，未开放移除操作。");
// The seal's rules are the bundle's own: ones that ask too much matching are a fault of the signature,
// not of how much the bundle holds.
const QString rulesTooComplex =
    QStringLiteral("应用签名的资源规则过于复杂，无法核对，未开放移除操作。请使用文件管理器或官方卸载方式。");

QByteArray validateSingleSignature(const QUrl& bundle, const QByteArray& vendorRoot,
                                   const CancellationToken& cancellation, BundleSignature::Budget& budget) {
    const QString unreadable = QStringLiteral("无法读取应用签名，请使用原安装方式管理。");
    if (!isLocalFileURL(bundle))
        block(unreadable);
    const CodeSignatureCheck check = BundleSignature::check(
        pathOf(bundle), [&cancellation] { cancellation.check(); }, &budget);
    switch (check.status) {
    case CodeSignatureCheck::Status::notSigned:
        block(unreadable);
    case CodeSignatureCheck::Status::invalid:
        block(QStringLiteral("应用签名不完整或无法验证，未开放移除操作。请使用文件管理器或官方卸载方式。"));
    case CodeSignatureCheck::Status::overBudget:
        block(tooMuchContent);
    case CodeSignatureCheck::Status::rulesTooComplex:
        block(rulesTooComplex);
    case CodeSignatureCheck::Status::valid:
        break;
    }
    if (check.rootFingerprints.contains(vendorRoot))
        block(QStringLiteral("Apple 签名的应用受保护，请使用系统或官方提供的管理方式。"));
    if (check.uniqueIdentifier.isEmpty())
        block(QStringLiteral("无法确认签名身份，操作已停止。"));
    for (const QVariantMap& entitlements : check.entitlements) {
        const QVariant value =
            entitlements.value(QStringLiteral("com.apple.developer.system-extension.install"));
        if (value.typeId() == QMetaType::Bool && value.toBool())
            throw ApplicationManagementError::guidance(
                {Kind::vendorManaged, QStringLiteral("应用可以安装系统扩展。"),
                 QStringLiteral("请使用厂商的卸载说明，避免留下仍在运行的系统组件。"), std::nullopt});
    }
    return check.uniqueIdentifier;
}

// Whether the path names the bundle or something inside it, as written, cleaned up or resolved.
bool referencesApplication(const QString& path, const QUrl& bundle) {
    const QString bundlePath = pathOf(bundle);
    const auto inside = [&bundlePath](const QString& candidate) {
        return candidate == bundlePath || candidate.startsWith(bundlePath + u'/');
    };
    if (!path.startsWith(u'/'))
        return false;
    if (inside(path) || inside(QDir::cleanPath(path)))
        return true;
    const std::optional<QString> resolved = CheckedFiles::resolvedPath(path);
    return resolved && inside(*resolved);
}

// Step 5 of the component check: drivers, extensions and uninstallers anywhere in the bundle, within
// limits, links counted but never followed.
void walkBundle(const QUrl& bundle, const CancellationToken& cancellation,
                const ComponentWalkLimits& limits) {
    const std::function<double()> uptime = limits.uptime ? limits.uptime : &SystemClock::monotonic;
    const double deadline = uptime() + limits.seconds;
    struct Listing {
        QString folder;
        QStringList names;
        qsizetype next = 0;
    };
    const auto list = [](const QString& folder) -> std::optional<Listing> {
        Listing listing{folder, {}, 0};
        if (!CheckedFiles::forEachName(
                folder, [&listing](QByteArrayView name) { listing.names.append(SafeText::decoded(name)); }))
            return std::nullopt;
        return listing;
    };
    std::optional<Listing> root = list(pathOf(bundle));
    if (!root)
        block(QStringLiteral("应用内容无法检查。"));
    std::vector<Listing> stack;
    stack.push_back(std::move(*root));
    bool unreadable = false;
    int examined = 0;
    while (!stack.empty() && !unreadable) {
        Listing& top = stack.back();
        if (top.next == top.names.size()) {
            stack.pop_back();
            continue;
        }
        const QString name = top.names.at(top.next++);
        const QString path = childPath(top.folder, name);
        cancellation.check();
        if (examined == limits.entries || !(uptime() < deadline))
            block(tooMuchContent);
        // Content the walk cannot reach (a tree deeper than the longest path, a folder it may not enter)
        // stays unreadable however often it is rescanned; only an entry gone since the listing is the
        // rescan's to find.
        int error = 0;
        std::optional<FileNode> node = CheckedFiles::linkStatus(path, &error);
        if (!node && error != ENOENT) {
            unreadable = true;
            break;
        }
        // Up to a quarter of a million entries: each costs three texts, no URL, unless its name needs a
        // closer look.
        const QString lower = name.toLower();
        const qsizetype dot = lower.lastIndexOf(u'.');
        const QStringView extension = dot > 0 ? QStringView(lower).mid(dot + 1) : QStringView();
        if (extension == u"kext" || extension == u"systemextension" || extension == u"dext")
            throw vendorManaged(QStringLiteral("发现驱动或系统扩展。"), QUrl::fromLocalFile(path));
        // Every name the uninstaller test accepts contains one of these.
        const QStringView stem = dot > 0 ? QStringView(lower).left(dot) : QStringView(lower);
        if ((stem.contains(u"uninstall") || stem.contains(u"卸载")) &&
            ApplicationRemovalService::isUninstaller(QUrl::fromLocalFile(path), false))
            throw vendorManaged(QStringLiteral("发现卸载工具。"), QUrl::fromLocalFile(path));
        if (!node)
            node = ApplicationInventory::node(QUrl::fromLocalFile(path)); // its refusal, unless it is back
        ++examined;
        if (node->isDirectory()) {
            std::optional<Listing> listing = list(path);
            if (listing)
                stack.push_back(std::move(*listing));
            else
                unreadable = true;
        }
    }
    if (unreadable)
        block(unreadableContent);
}

// Step 6: launch configurations that lie in the bundle or start something from it.
void checkLaunchConfigurations(const QUrl& bundle, const QList<QUrl>& folders,
                               const CancellationToken& cancellation) {
    for (const QUrl& folder : folders) {
        cancellation.check();
        if (!CheckedFiles::exists(pathOf(folder)))
            continue;
        QStringList names;
        try {
            names = listNames(pathOf(folder));
        } catch (const std::system_error&) {
            throw unreadableConfiguration(folder);
        }
        for (const QString& name : std::as_const(names)) {
            if (pathExtension(name) != u"plist")
                continue;
            cancellation.check();
            const QUrl entry = childURL(folder, name);
            const std::optional<QString> resolved = CheckedFiles::resolvedPath(pathOf(entry));
            if (!resolved)
                throw unreadableConfiguration(entry);
            if (referencesApplication(*resolved, bundle))
                throw vendorManaged(QStringLiteral("后台服务配置位于此应用包内。"), entry);
            QVariant parsed;
            try {
                parsed = PropertyList::parse(ApplicationInventory::readRegularFile(
                    QUrl::fromLocalFile(*resolved), ApplicationInventory::propertyListLimit, cancellation));
            } catch (const CancellationError&) {
                throw;
            } catch (const std::exception&) {
                throw unreadableConfiguration(entry);
            }
            if (parsed.typeId() != QMetaType::QVariantMap)
                throw unreadableConfiguration(entry);
            const QVariantMap configuration = parsed.toMap();
            QStringList programs;
            const QVariant program = configuration.value(QStringLiteral("Program"));
            if (program.typeId() == QMetaType::QString)
                programs.append(program.toString());
            const QVariant arguments = configuration.value(QStringLiteral("ProgramArguments"));
            if (arguments.typeId() == QMetaType::QVariantList) {
                const QVariantList list = arguments.toList();
                if (std::all_of(list.cbegin(), list.cend(),
                                [](const QVariant& v) { return v.typeId() == QMetaType::QString; }))
                    for (const QVariant& argument : list)
                        programs.append(argument.toString());
            }
            for (const QString& reference : std::as_const(programs))
                if (referencesApplication(reference, bundle))
                    throw vendorManaged(QStringLiteral("后台服务引用了此应用。"), entry);
        }
    }
}

} // namespace

QByteArray ApplicationRemovalService::vendorRootFingerprint() {
    return QByteArray::fromHex("b0b1730ecbc7ff4505142c49f1295e6eda6bcaed7e2c68c5be91b5a11001f024");
}

QByteArray ApplicationRemovalService::validateSignature(const QUrl& bundle,
                                                        const CancellationToken& cancellation) {
    return validateSignature(bundle, vendorRootFingerprint(), cancellation);
}

QByteArray ApplicationRemovalService::validateSignature(const QUrl& bundle, const QByteArray& vendorRoot,
                                                        const CancellationToken& cancellation,
                                                        const BundleSignature::Limits& limits) {
    // One budget for the bundle and all its login items.
    BundleSignature::Budget budget(limits);
    return signatureDigest(
        bundle,
        [&](const QUrl& code) { return validateSingleSignature(code, vendorRoot, cancellation, budget); },
        cancellation);
}

QByteArray
ApplicationRemovalService::signatureDigest(const QUrl& bundle,
                                           const std::function<QByteArray(const QUrl&)>& identifier,
                                           const CancellationToken& cancellation) {
    QByteArray digest = identifier(bundle);
    const QUrl folder = childURL(bundle, loginItemsFolder());
    if (!CheckedFiles::exists(pathOf(folder)))
        return digest;
    if (!resolvesExactly(folder))
        throw vendorManaged(QStringLiteral("登录助手目录在检查时变化。"), folder);
    QStringList names = listNames(pathOf(folder));
    std::sort(names.begin(), names.end());
    if (names.size() > loginItemLimit)
        throw vendorManaged(QStringLiteral("登录助手数量超过检查范围。"), folder);
    for (const QString& name : std::as_const(names)) {
        if (pathExtension(name).toLower() != u"app")
            continue;
        cancellation.check();
        const QUrl entry = childURL(folder, name);
        if (!resolvesExactly(entry))
            throw vendorManaged(QStringLiteral("登录助手在检查时变化。"), entry);
        digest += '\0';
        digest += name.toUtf8();
        digest += '\0';
        digest += identifier(entry);
    }
    return digest;
}

void ApplicationRemovalService::checkEmbeddedLoginItems(const InstalledApplication& application,
                                                        const CancellationToken& cancellation) {
    const QUrl folder = childURL(application.url(), loginItemsFolder());
    int error = 0;
    const std::optional<FileNode> node = CheckedFiles::linkStatus(pathOf(folder), &error);
    if (!node) {
        if (error == ENOENT)
            return;
        block(QStringLiteral("登录助手目录无法读取，请使用厂商的管理方式。"));
    }
    if (!node->isDirectory() || !resolvesExactly(folder))
        throw vendorManaged(QStringLiteral("登录助手目录包含链接或异常结构。"), folder);
    const QStringList names = listNames(pathOf(folder));
    if (names.size() > loginItemLimit)
        throw vendorManaged(QStringLiteral("登录助手数量超过检查范围。"), folder);
    for (const QString& name : names) {
        cancellation.check();
        const QUrl entry = childURL(folder, name);
        if (name == u".DS_Store" && ApplicationInventory::node(entry).isRegularFile())
            continue;
        if (pathExtension(name).toLower() != u"app" || !resolvesExactly(entry))
            throw vendorManaged(QStringLiteral("登录助手不是普通的包内应用。"), entry);
        const InstalledApplication helper = ApplicationInventory::checkedRead(entry, cancellation);
        if (helper.restriction() || helper.bundleID() == application.bundleID())
            throw vendorManaged(QStringLiteral("登录助手包含受保护、特权或系统组件。"), entry);
        const QUrl executable = childURL(entry, QStringLiteral("Contents/MacOS/") + helper.executable());
        if (!resolvesExactly(executable) || !ApplicationInventory::node(executable).isRegularFile() ||
            CheckedFiles::linkStatus(pathOf(childURL(entry, loginItemsFolder()))))
            throw vendorManaged(QStringLiteral("登录助手结构异常或还包含其他登录助手。"), entry);
        if (!MachO::isNativeExecutable(pathOf(executable)))
            throw vendorManaged(
                QStringLiteral("登录助手使用脚本或无法确认的启动方式，不能可靠核对其退出状态。"), entry);
    }
}

QList<QUrl> ApplicationRemovalService::defaultLaunchServiceFolders() {
    return {QUrl::fromLocalFile(QStringLiteral("/Library/LaunchAgents")),
            QUrl::fromLocalFile(QStringLiteral("/Library/LaunchDaemons")),
            QUrl::fromLocalFile(QDir(QDir::homePath()).filePath(QStringLiteral("Library/LaunchAgents")))};
}

void ApplicationRemovalService::checkComponents(const InstalledApplication& application,
                                                const QList<QUrl>& launchServiceFolders,
                                                const CancellationToken& cancellation,
                                                const ComponentWalkLimits& limits) {
    const QUrl& bundle = application.url();
    const QVariantMap info = ApplicationInventory::metadata(bundle, cancellation).second;
    if (info.contains(QStringLiteral("SMPrivilegedExecutables")))
        throw vendorManaged(QStringLiteral("应用声明了特权后台组件。"));

    // An application in a folder of its own may have its vendor's uninstaller beside it.
    const QString bundlePath = pathOf(bundle);
    const QString installFolder = parentPath(bundlePath);
    const QList<QUrl> roots = ApplicationInventory::defaultRoots();
    if (std::none_of(roots.cbegin(), roots.cend(),
                     [&](const QUrl& root) { return pathOf(root) == installFolder; })) {
        for (const QString& name : listNames(installFolder)) {
            if (name == lastPathComponent(bundlePath))
                continue;
            const QUrl entry = childURL(QUrl::fromLocalFile(installFolder), name);
            if (isUninstaller(entry, true))
                throw vendorManaged(QStringLiteral("同一安装文件夹中发现卸载工具。"), entry);
        }
    }

    for (const char* component : {"Contents/Library/LaunchServices", "Contents/Library/LaunchAgents",
                                  "Contents/Library/LaunchDaemons", "Contents/Library/SystemExtensions"}) {
        const QUrl folder = childURL(bundle, QString::fromLatin1(component));
        if (CheckedFiles::exists(pathOf(folder)))
            throw vendorManaged(QStringLiteral("发现后台服务或系统组件。"), folder);
    }

    checkEmbeddedLoginItems(application, cancellation);
    walkBundle(bundle, cancellation, limits);
    checkLaunchConfigurations(bundle, launchServiceFolders, cancellation);
}

bool ApplicationRemovalService::isUninstaller(const QUrl& item, bool sibling) {
    const QString component = lastPathComponent(pathOf(item));
    const QString name = deletingPathExtension(component).toLower();
    const QString extension = pathExtension(component).toLower();
    const bool installerLike = extension == u"app" || extension == u"pkg" || extension == u"mpkg";

    QStringList tokens;
    QString token;
    for (const QChar character : name) {
        if (character.isLetterOrNumber() || character.isMark()) {
            token += character;
        } else {
            tokens.append(token);
            token.clear();
        }
    }
    tokens.append(token);
    const bool named = tokens.contains(u"uninstall") || tokens.contains(u"uninstaller") ||
                       name.contains(QStringLiteral("卸载")) ||
                       (installerLike && name.contains(u"uninstall"));
    if (!named)
        return false;

    const FileNode node = ApplicationInventory::node(item);
    if (installerLike)
        return node.isDirectory() || node.isRegularFile() || node.isSymbolicLink();
    const QString parent = parentPath(pathOf(item));
    if (lastPathComponent(parentPath(parent)) == u"Contents") {
        static const QStringList folders{QStringLiteral("MacOS"), QStringLiteral("Helpers"),
                                         QStringLiteral("Resources")};
        if (!sibling && !folders.contains(lastPathComponent(parent)))
            return false;
    } else if (!sibling) {
        return false;
    }
    if (extension == u"scptd" && (node.isDirectory() || node.isSymbolicLink()))
        return true;
    if (!node.isRegularFile() && !node.isSymbolicLink())
        return false;
    static const QStringList scripts{QStringLiteral("sh"), QStringLiteral("command"), QStringLiteral("scpt"),
                                     QStringLiteral("applescript")};
    return scripts.contains(extension) || (node.mode & 0111) != 0 || node.isSymbolicLink();
}

void ApplicationRemovalService::checkRunning(const QUrl& bundle, const BundleProcesses& processes) {
    const BundleProcesses::Result result = processes.runningFrom(pathOf(bundle));
    // The process the answer rests on, where no link shows which it is, so that the user can end it; its
    // name comes from outside.
    const std::optional<QString> process =
        result.process ? std::optional(NamedProcess{result.process->pid, result.process->name}.inSentence())
                       : std::nullopt;
    switch (result.answer) {
    case BundleProcesses::Answer::none:
        return;
    case BundleProcesses::Answer::running:
        throw ApplicationManagementError::guidance(
            {Kind::requiresQuit,
             QStringLiteral("应用或包内后台助手仍在运行。") +
                 (process ? *process + QStringLiteral("正在运行此应用中的程序。") : QString()),
             QStringLiteral(
                 "先保存工作并退出；如果主窗口已关闭，请在原应用中关闭登录启动和后台运行，再重新检查。"),
             std::nullopt});
    case BundleProcesses::Answer::unknown:
        break;
    }
    QString reason = QStringLiteral("暂时无法确认应用及后台进程已退出，未执行移除。");
    if (process)
        reason += QStringLiteral("无法读取") + *process + QStringLiteral("的程序路径，它可能属于此应用。");
    throw ApplicationManagementError::guidance(
        {Kind::unverified, reason, QStringLiteral("请稍后重新检查，或在文件管理器中使用原安装方式管理。"),
         std::nullopt});
}

} // namespace lunorvale
