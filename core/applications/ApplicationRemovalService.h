#pragma once

#include "core/applications/ApplicationRemovalLog.h"
#include "core/applications/InstalledApplication.h"
#include "core/common/CancellationToken.h"
#include "platform/BundleProcesses.h"
#include "platform/codesign/BundleSignature.h"
#include "platform/files/Trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <optional>

namespace lunorvale {

// The steps of a removal check and of a removal, in the order they are reported.
enum class ApplicationRemovalPhase { identity, components, signature, running, recording, moving };

// The step title shown to the user.
QString rawValue(ApplicationRemovalPhase phase);
// Exactly one of the six titles; anything else (extra blanks included) is absent.
std::optional<ApplicationRemovalPhase> applicationRemovalPhase(const QString& rawValue);

// A checked application, waiting for the user's confirmation. Executable while 0 ≤ age < 300 s.
struct ApplicationRemovalPlan {
    QUuid id; // becomes the receipt's id
    InstalledApplication application;
    QByteArray signatureHash; // ApplicationRemovalService::validateSignature's digest at the check
    QDateTime createdAt;
};

struct ApplicationRemovalResult {
    ApplicationRemovalReceipt receipt; // with the trash path and the outcome state
    bool logSaved = false;             // whether that final receipt reached the log
    bool sourceStillExists = false;    // something is at the original path, or its absence is unknown
};

// Limits of the walk through a bundle's content during the component check.
struct ComponentWalkLimits {
    int entries = 249999;           // this many entries pass; one more refuses
    double seconds = 30.0;          // on the monotonic clock
    std::function<double()> uptime; // the monotonic clock in seconds; the system's when empty
};

// Moves one installed application bundle to the trash, and nothing else: it never deletes, never touches
// anything outside the bundle, never runs or stops anything.
//
// prepare() runs every check and returns a plan for the user to confirm; execute() repeats the checks,
// writes a receipt to the log before anything moves, moves the bundle and records the outcome. Both block
// (the signature check reads the whole bundle) and report each step through onPhase on the calling
// thread before starting it: run them off the interface thread. They observe `cancellation` between
// steps and inside the long ones and then throw CancellationError.
//
// Every refusal is an ApplicationManagementError: `blocked` with a sentence, or `guidance` with what the
// user can do. Errors of the file readers (std::system_error, PropertyListError), of the receipt log
// (FileWriteError, RemovalLogReadError, RemovalLogFormatError) and CancellationError pass through
// unchanged.
class ApplicationRemovalService final {
public:
    using PhaseCallback = std::function<void(ApplicationRemovalPhase)>;
    // Validates a bundle's code signature and returns its digest.
    using SignatureOperation = std::function<QByteArray(const QUrl& bundle, const CancellationToken&)>;
    // Refuses while the bundle's code runs.
    using RunningOperation = std::function<void(const QUrl& bundle)>;
    // Refuses bundles with background services, drivers, uninstallers or unreadable content.
    using ComponentsOperation = std::function<void(const InstalledApplication&, const CancellationToken&)>;
    // Moves the item to the trash, its record there dated `deletionDate` (Trash::deletionDateText), and
    // returns where it landed.
    using TrashOperation = std::function<QUrl(const QUrl& item, const QString& deletionDate)>;

    struct Operations {
        SignatureOperation signature;
        RunningOperation running;
        ComponentsOperation components;
        TrashOperation trash;
        std::function<QDateTime()> now;
    };

    // "/Applications" and "~/Applications" as roots, the standard log, the system's operations.
    ApplicationRemovalService();
    ApplicationRemovalService(QList<QUrl> roots, ApplicationRemovalLog log, Operations operations);

    // validateSignature with the vendor's root, checkRunning over the system's processes, checkComponents
    // with the default launch folders, moveToTrash and the system clock.
    static Operations systemOperations();

    const QList<QUrl>& roots() const { return m_roots; }
    const ApplicationRemovalLog& log() const { return m_log; }

    ApplicationRemovalPlan prepare(const InstalledApplication& application, const PhaseCallback& onPhase,
                                   const CancellationToken& cancellation = {}) const;
    ApplicationRemovalResult execute(const ApplicationRemovalPlan& plan, const PhaseCallback& onPhase,
                                     const CancellationToken& cancellation = {}) const;

    // The bundle on disk is still exactly the record, inside a root, not protected, not this program, not
    // inside another bundle, with a real executable.
    void validateIdentity(const InstalledApplication& application) const;

    // The bundle's unique code identifier, then for each embedded login item ("Contents/Library/
    // LoginItems/*.app", by path) a zero byte, its name, a zero byte and its identifier. Refuses unsigned
    // or broken signatures, signatures that chain up to the root whose SHA-256 is
    // `vendorRootFingerprint`, code entitled to install system extensions, bundles that take more than
    // `limits` to check (all their login items included) and seals whose rules ask too much matching.
    static QByteArray validateSignature(const QUrl& bundle, const CancellationToken& cancellation = {});
    static QByteArray validateSignature(const QUrl& bundle, const QByteArray& vendorRootFingerprint,
                                        const CancellationToken& cancellation,
                                        const BundleSignature::Limits& limits = {});
    // The digest above with each bundle's identifier taken from `identifier`.
    static QByteArray signatureDigest(const QUrl& bundle,
                                      const std::function<QByteArray(const QUrl&)>& identifier,
                                      const CancellationToken& cancellation);
    // The SHA-256 of Apple Root CA.
    static QByteArray vendorRootFingerprint();

    // The embedded login items are at most 64 plain bundles with a native executable each.
    static void checkEmbeddedLoginItems(const InstalledApplication& application,
                                        const CancellationToken& cancellation = {});

    // Privileged helpers, an uninstaller beside the bundle, component folders, login items, drivers or
    // uninstallers inside, unreadable content, and launch configurations that belong to or name the bundle.
    static void checkComponents(const InstalledApplication& application,
                                const QList<QUrl>& launchServiceFolders,
                                const CancellationToken& cancellation = {},
                                const ComponentWalkLimits& limits = {});
    // "/Library/LaunchAgents", "/Library/LaunchDaemons", "~/Library/LaunchAgents".
    static QList<QUrl> defaultLaunchServiceFolders();
    // Whether the item looks like an uninstaller; `sibling` for items beside the bundle rather than inside.
    // Throws when the item's lstat fails.
    static bool isUninstaller(const QUrl& item, bool sibling);

    static void checkRunning(const QUrl& bundle, const BundleProcesses& processes);

    // Where the trash refuses the item, the sentence says why where the system said it.
    static QUrl moveToTrash(const QUrl& item, const QString& deletionDate,
                            const Trash::TrashCalls& calls = Trash::TrashCalls());
    // A removal ended between writing the trash's record of a bundle and moving the bundle (the program
    // was killed) leaves a receipt "待复查" and a record in the trash whose item never arrived, which
    // other Trash programs offer to restore and fail on. For each such receipt dated before `before`,
    // this removes the records of its original path that carry the receipt's deletion date, where their
    // item is missing (Trash::removeRecordsWithoutItem). Receipts that keep no deletion date are passed
    // over. Never throws; returns how many records were removed. execute() calls it before its own
    // receipt.
    static int removeUnfinishedTrashRecords(const QList<ApplicationRemovalReceipt>& receipts,
                                            const QDateTime& before);

private:
    QList<QUrl> m_roots;
    ApplicationRemovalLog m_log;
    Operations m_operations;
};

} // namespace lunorvale
