#pragma once

#include "core/applications/InstalledApplication.h"
#include "core/common/CancellationToken.h"
#include "platform/files/CheckedFiles.h"

#include <QList>
#include <QUrl>
#include <QVariantMap>
#include <utility>

namespace lunorvale {

// How far one scan goes over all its roots: the entries it looks at (files, folders and bundles) and the
// applications it lists. Reaching either ends the walk with one issue.
struct ApplicationScanLimits {
    int entries = 5000;
    int applications = 1000;
};

// Lists the application bundles below a set of root folders, reads each bundle's Info.plist into an
// InstalledApplication with its guidance, and measures one bundle.
//
// Every operation blocks on the file system and keeps no state between calls: run it off the main thread
// and hand it a token to stop it. It never follows a symbolic link, never walks into a package, reads
// small files through a descriptor that refuses links and checks afterwards that nothing moved while it
// read, and lists what it cannot verify with a restriction instead of hiding it.
class ApplicationInventory final {
public:
    explicit ApplicationInventory(QList<QUrl> roots, ApplicationScanLimits limits = {})
        : m_roots(std::move(roots)), m_limits(limits) {}

    const QList<QUrl>& roots() const { return m_roots; }

    // "/Applications", "Applications" in the user's home folder (the folder's resolved path), and
    // "/System/Applications". Usually absent on Linux; the scan then reports them as issues.
    static QList<QUrl> defaultRoots();

    // Throws CancellationError only.
    ApplicationScan scan(const CancellationToken& cancellation = {}) const;

    // The bundle as listed; a bundle that cannot be read safely is still listed, with a restriction.
    // Throws CancellationError only.
    static InstalledApplication read(const QUrl& bundle, const CancellationToken& cancellation = {});
    // The strict reading behind read(): ApplicationManagementError, PropertyListError, std::system_error
    // or CancellationError.
    static InstalledApplication checkedRead(const QUrl& bundle, const CancellationToken& cancellation = {});
    // Sum of the logical sizes of the distinct regular files in the bundle (hard links once, links 0).
    static int64_t bundleSize(const InstalledApplication& application,
                              const CancellationToken& cancellation = {});
    // lstat of the path itself.
    static FileNode node(const QUrl& url);
    // Whether a local file URL's path holds no symbolic link, "." or ".." and resolves to itself. With
    // allowMissing, a missing tail is accepted when the nearest existing ancestor resolves to itself and
    // nothing (not even a dangling link) stands at the first missing part.
    static bool pathIsUnlinked(const QUrl& url, bool allowMissing);
    // The whole regular file at a local path, refused when it is larger than maximumBytes or changed while
    // read.
    static QByteArray readRegularFile(const QUrl& url, int64_t maximumBytes,
                                      const CancellationToken& cancellation = {});
    // The sentence readRegularFile refuses with for a read that failed so, without the system's reason
    // (a read that failed once the file was open it throws as the system's error instead).
    static QString readFailureSentence(CheckedFiles::ReadResult::Failure failure);
    // The bundle's identity and its parsed Contents/Info.plist.
    static std::pair<ApplicationIdentity, QVariantMap> metadata(const QUrl& bundle,
                                                                const CancellationToken& cancellation = {});

    static constexpr int64_t propertyListLimit = 1048576;
    static constexpr int sizeWalkItemLimit = 250000;
    static constexpr double sizeWalkSeconds = 8.0;

private:
    QList<QUrl> m_roots;
    ApplicationScanLimits m_limits;
};

} // namespace lunorvale
