#include "core/applications/ApplicationRemovalService.h"

#include "core/applications/ApplicationInventory.h"
#include "core/applications/BundlePaths.h"
#include "core/common/ErrorCause.h"
#include "platform/files/CheckedFiles.h"
#include "platform/files/Trash.h"

#include <algorithm>
#include <cerrno>

namespace lunorvale {
namespace {

using namespace BundlePaths;
using State = ApplicationRemovalReceipt::State;

[[noreturn]] void block(const QString& message) {
    throw ApplicationManagementError::blocked(message);
}

void report(const ApplicationRemovalService::PhaseCallback& onPhase, ApplicationRemovalPhase phase) {
    if (onPhase)
        onPhase(phase);
}

constexpr ApplicationRemovalPhase allPhases[] = {
    ApplicationRemovalPhase::identity,  ApplicationRemovalPhase::components,
    ApplicationRemovalPhase::signature, ApplicationRemovalPhase::running,
    ApplicationRemovalPhase::recording, ApplicationRemovalPhase::moving,
};

} // namespace

QString rawValue(ApplicationRemovalPhase phase) {
    switch (phase) {
    case ApplicationRemovalPhase::identity:
        return QStringLiteral("核对所选应用");
    case ApplicationRemovalPhase::components:
        return QStringLiteral("检查登录助手与后台组件");
    case ApplicationRemovalPhase::signature:
        return QStringLiteral("验证程序签名（大应用可能较慢）");
    case ApplicationRemovalPhase::running:
        return QStringLiteral("确认应用及助手已退出");
    case ApplicationRemovalPhase::recording:
        return QStringLiteral("保存操作记录");
    case ApplicationRemovalPhase::moving:
        break;
    }
    return QStringLiteral("移到回收站");
}

std::optional<ApplicationRemovalPhase> applicationRemovalPhase(const QString& text) {
    for (const ApplicationRemovalPhase phase : allPhases)
        if (rawValue(phase) == text)
            return phase;
    return std::nullopt;
}

ApplicationRemovalService::ApplicationRemovalService()
    : ApplicationRemovalService(ApplicationInventory::defaultRoots().mid(0, 2),
                                ApplicationRemovalLog::standard(), systemOperations()) {}

ApplicationRemovalService::ApplicationRemovalService(QList<QUrl> roots, ApplicationRemovalLog log,
                                                     Operations operations)
    : m_roots(std::move(roots)), m_log(std::move(log)), m_operations(std::move(operations)) {
    // An operation left out is the system's own.
    Operations system = systemOperations();
    if (!m_operations.signature)
        m_operations.signature = std::move(system.signature);
    if (!m_operations.running)
        m_operations.running = std::move(system.running);
    if (!m_operations.components)
        m_operations.components = std::move(system.components);
    if (!m_operations.trash)
        m_operations.trash = std::move(system.trash);
    if (!m_operations.now)
        m_operations.now = std::move(system.now);
}

ApplicationRemovalService::Operations ApplicationRemovalService::systemOperations() {
    return Operations{
        [](const QUrl& bundle, const CancellationToken& cancellation) {
            return validateSignature(bundle, cancellation);
        },
        [](const QUrl& bundle) { checkRunning(bundle, SystemBundleProcesses()); },
        [](const InstalledApplication& application, const CancellationToken& cancellation) {
            checkComponents(application, defaultLaunchServiceFolders(), cancellation);
        },
        [](const QUrl& item, const QString& deletionDate) { return moveToTrash(item, deletionDate); },
        [] { return QDateTime::currentDateTimeUtc(); },
    };
}

ApplicationRemovalPlan ApplicationRemovalService::prepare(const InstalledApplication& application,
                                                          const PhaseCallback& onPhase,
                                                          const CancellationToken& cancellation) const {
    cancellation.check();
    report(onPhase, ApplicationRemovalPhase::identity);
    validateIdentity(application);
    report(onPhase, ApplicationRemovalPhase::components);
    m_operations.components(application, cancellation);
    cancellation.check();
    report(onPhase, ApplicationRemovalPhase::signature);
    QByteArray digest = m_operations.signature(application.url(), cancellation);
    cancellation.check();
    report(onPhase, ApplicationRemovalPhase::running);
    m_operations.running(application.url());
    // A bundle replaced during the slow steps is refused here.
    validateIdentity(application);
    cancellation.check();
    return ApplicationRemovalPlan{QUuid::createUuid(), application, std::move(digest), m_operations.now()};
}

ApplicationRemovalResult ApplicationRemovalService::execute(const ApplicationRemovalPlan& plan,
                                                            const PhaseCallback& onPhase,
                                                            const CancellationToken& cancellation) const {
    // A changed clock counts as expiry: a plan from the future or an invalid date is refused too.
    const QDateTime now = m_operations.now();
    const qint64 ageMilliseconds =
        plan.createdAt.isValid() && now.isValid() ? plan.createdAt.msecsTo(now) : -1;
    if (ageMilliseconds < 0 || ageMilliseconds >= 300'000)
        block(QStringLiteral("确认信息已过期或系统时间已变化，请重新检查应用。"));
    const InstalledApplication& application = plan.application;
    const QUrl& url = application.url();

    cancellation.check();
    report(onPhase, ApplicationRemovalPhase::identity);
    validateIdentity(application);
    report(onPhase, ApplicationRemovalPhase::components);
    m_operations.components(application, cancellation);
    cancellation.check();
    report(onPhase, ApplicationRemovalPhase::signature);
    if (m_operations.signature(url, cancellation) != plan.signatureHash)
        block(QStringLiteral("应用已更新或被替换，请重新检查。"));
    cancellation.check();

    report(onPhase, ApplicationRemovalPhase::recording);
    QList<ApplicationRemovalReceipt> receipts = m_log.load(cancellation);
    ApplicationRemovalReceipt receipt{plan.id, m_operations.now(), pathOf(url), std::nullopt,
                                      ApplicationRemovalReceipt::stateText(State::pending)};
    // The trash's record carries this date: a later removal finds that record by it whatever the time
    // zone is then.
    receipt.deletionDate = QString::fromLatin1(Trash::deletionDateText(receipt.date));
    // Records an earlier removal left without their item would otherwise also hold the bundle's name.
    removeUnfinishedTrashRecords(receipts, receipt.date);
    receipts.append(receipt);
    cancellation.check();
    // The receipt is on disk before anything moves; if it cannot be written, nothing moves.
    m_log.save(receipts);

    // The outcome is written into the log as it is then, not into the list read before the move:
    // a receipt that another removal saved meanwhile must survive.
    const auto record = [this](const ApplicationRemovalReceipt& updated) {
        try {
            QList<ApplicationRemovalReceipt> current = m_log.load();
            const auto found =
                std::find_if(current.rbegin(), current.rend(),
                             [&](const ApplicationRemovalReceipt& r) { return r.id == updated.id; });
            if (found != current.rend())
                *found = updated;
            else
                current.append(updated);
            m_log.save(current);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    };

    QUrl trashURL;
    try {
        cancellation.check();
        report(onPhase, ApplicationRemovalPhase::running);
        m_operations.running(url);
        report(onPhase, ApplicationRemovalPhase::moving);
        validateIdentity(application);
        cancellation.check();
        trashURL = m_operations.trash(url, *receipt.deletionDate);
    } catch (...) {
        receipt.state = ApplicationRemovalReceipt::stateText(State::incomplete);
        record(receipt);
        throw;
    }

    receipt.trashPath = pathOf(trashURL);
    // What lies in the trash must be the bundle that was checked: one swapped in just before the move
    // went there instead, and the checked one may still be somewhere.
    const std::optional<FileNode> moved = CheckedFiles::linkStatus(*receipt.trashPath);
    const std::optional<ApplicationIdentity>& identity = application.identity();
    const bool checkedOneMoved =
        moved && identity && moved->device == identity->device && moved->inode == identity->inode;
    int error = 0;
    const bool gone =
        checkedOneMoved && !CheckedFiles::linkStatus(receipt.originalPath, &error) && error == ENOENT;
    receipt.state = ApplicationRemovalReceipt::stateText(gone ? State::moved : State::movedSourceRemains);
    const bool saved = record(receipt);
    return ApplicationRemovalResult{receipt, saved, !gone};
}

void ApplicationRemovalService::validateIdentity(const InstalledApplication& application) const {
    if (application.restriction())
        throw ApplicationManagementError::guidance(application.management());
    const QString changed = QStringLiteral("应用位置、身份或显示信息已变化，或不在允许范围内。请重新扫描。");
    const QUrl& url = application.url();
    const QString path = pathOf(url);
    const bool insideRoot = std::any_of(m_roots.cbegin(), m_roots.cend(), [&path](const QUrl& root) {
        return path.startsWith(pathOf(root) + u'/') && resolvesExactly(root);
    });
    if (pathExtension(lastPathComponent(path)).toLower() != u"app" || !insideRoot ||
        path.startsWith(QStringLiteral("/System/")) ||
        application.bundleID().startsWith(QStringLiteral("com.apple.")) ||
        application.bundleID() == u"dev.lunorvale.mac" || !application.identity())
        block(changed);
    if (ApplicationInventory::checkedRead(url) != application)
        block(changed);

    for (QString folder = parentPath(path); !folder.isEmpty(); folder = parentPath(folder)) {
        if (pathExtension(lastPathComponent(folder)).toLower() == u"app")
            block(QStringLiteral("这是其他应用的内部组件，不能单独移除。"));
        if (folder == u"/")
            break;
    }

    const QString oddExecutable = QStringLiteral("应用可执行文件结构异常，操作已停止。");
    const QString& executable = application.executable();
    if (executable.isEmpty() || executable.contains(u'/'))
        block(oddExecutable);
    const QUrl executableURL = childURL(url, QStringLiteral("Contents/MacOS/") + executable);
    if (!resolvesExactly(executableURL) || !ApplicationInventory::node(executableURL).isRegularFile())
        block(oddExecutable);
}

int ApplicationRemovalService::removeUnfinishedTrashRecords(const QList<ApplicationRemovalReceipt>& receipts,
                                                            const QDateTime& before) {
    const QString pending = ApplicationRemovalReceipt::stateText(State::pending);
    int removed = 0;
    for (const ApplicationRemovalReceipt& receipt : receipts) {
        if (receipt.state != pending || receipt.trashPath || !receipt.deletionDate ||
            !receipt.date.isValid() || !(receipt.date < before))
            continue;
        try {
            removed +=
                Trash::removeRecordsWithoutItem(receipt.originalPath, receipt.deletionDate->toLatin1());
        } catch (const std::exception&) {
            // Tidying is never a reason to stop: a record that stays only stays as it was.
        }
    }
    return removed;
}

QUrl ApplicationRemovalService::moveToTrash(const QUrl& item, const QString& deletionDate,
                                            const Trash::TrashCalls& calls) {
    const Trash::Outcome outcome = isLocalFileURL(item)
                                       ? Trash::moveToTrash(pathOf(item), deletionDate.toLatin1(), calls)
                                       : Trash::Outcome{};
    if (!outcome.moved && outcome.errorNumber != 0)
        block(QStringLiteral("未能移到回收站。") + ErrorCause::sentence(outcome.errorNumber) +
              QStringLiteral("请复查原位置和回收站。"));
    if (!outcome.moved)
        block(QStringLiteral(
            "未能移到回收站。请检查应用是否正在使用，以及系统是否允许岚栖管理应用；也可在文件管理器中处理。"
            "请复查原位置和回收站。"));
    if (!outcome.location)
        block(QStringLiteral("系统没有返回回收站位置，请复查原位置和回收站，勿重复操作。"));
    return QUrl::fromLocalFile(*outcome.location);
}

} // namespace lunorvale
