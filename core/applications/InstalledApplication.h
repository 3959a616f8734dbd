#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <cstdint>
#include <exception>
#include <optional>

namespace lunorvale {

// The identity of one bundle folder on disk, taken when the bundle is read and compared again before it
// is sized or removed, so that a replaced or edited bundle is noticed.
struct ApplicationIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    QString infoHash; // SHA-256 of Contents/Info.plist as read, 64 lowercase hexadecimal digits

    friend bool operator==(const ApplicationIdentity&, const ApplicationIdentity&) = default;
};

// Whether an application may be removed, and what the user should do next.
struct ApplicationManagementGuidance {
    // `protected` is a keyword here; its raw value is still "protected".
    enum class Kind { checkable, embeddedLoginItems, requiresQuit, vendorManaged, protected_, unverified };

    Kind kind = Kind::checkable;
    QString reason;
    QString nextStep;
    std::optional<QUrl> relatedURL; // a location the interface offers to reveal

    // The short badge text of the kind.
    QString title() const { return title(kind); }

    static QString rawValue(Kind kind);
    static QString title(Kind kind);
    // Exactly the six case names; anything else (other letter case, blanks) is absent.
    static std::optional<Kind> kindFromRawValue(const QString& rawValue);

    friend bool operator==(const ApplicationManagementGuidance&,
                           const ApplicationManagementGuidance&) = default;
};

inline size_t qHash(ApplicationManagementGuidance::Kind kind, size_t seed = 0) noexcept {
    return qHash(ApplicationManagementGuidance::rawValue(kind), seed);
}

// One application bundle as listed. Every field is fixed at construction.
class InstalledApplication final {
public:
    // A given management guidance is kept as it is; without one it is derived from the restriction.
    // Without a shown name the name is shown.
    InstalledApplication(QUrl url, QString name, QString bundleID, QString version, QString executable,
                         std::optional<ApplicationIdentity> identity, std::optional<QString> restriction,
                         std::optional<ApplicationManagementGuidance> management,
                         std::optional<QString> shownName = std::nullopt);

    // The bundle's path; two records of the same bundle share it even when they differ otherwise.
    QString id() const { return m_url.path(QUrl::FullyDecoded); }

    const QUrl& url() const { return m_url; }
    // The name as the bundle gives it, which may be empty.
    const QString& name() const { return m_name; }
    // The name the list, the details and the sentences show: the first of the bundle's names with
    // something visible, else its file name.
    const QString& shownName() const { return m_shownName; }
    const QString& bundleID() const { return m_bundleID; }
    const QString& version() const { return m_version; }
    const QString& executable() const { return m_executable; }
    const std::optional<ApplicationIdentity>& identity() const { return m_identity; }
    // Present when removal is not offered; the text says why and is shown unchanged.
    const std::optional<QString>& restriction() const { return m_restriction; }
    const ApplicationManagementGuidance& management() const { return m_management; }

    friend bool operator==(const InstalledApplication&, const InstalledApplication&) = default;

private:
    QUrl m_url;
    QString m_name;
    QString m_shownName;
    QString m_bundleID;
    QString m_version;
    QString m_executable;
    std::optional<ApplicationIdentity> m_identity;
    std::optional<QString> m_restriction;
    ApplicationManagementGuidance m_management;
};

// The result of one inventory scan.
struct ApplicationScan {
    QList<InstalledApplication> applications; // sorted by name as the file manager sorts
    QStringList issues;                       // notes about skipped folders and the limit; unique, sorted
    QList<QUrl> roots;                        // exactly as configured, including roots that gave an issue
};

// An operation on an application was refused or failed.
class ApplicationManagementError final : public std::exception {
public:
    enum class Kind { blocked, guidance };

    // A complete sentence for the user.
    static ApplicationManagementError blocked(QString message);
    // The interface shows the whole guidance: kind, reason, next step and link.
    static ApplicationManagementError guidance(ApplicationManagementGuidance guidance);

    Kind kind() const { return m_kind; }
    const QString& message() const { return m_message; }
    const std::optional<ApplicationManagementGuidance>& guidanceValue() const { return m_guidance; }

    // The message of `blocked`; the reason, one blank and the next step of `guidance`.
    QString errorDescription() const;
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    ApplicationManagementError(Kind kind, QString message,
                               std::optional<ApplicationManagementGuidance> guidance);

    Kind m_kind;
    QString m_message;
    std::optional<ApplicationManagementGuidance> m_guidance;
    QByteArray m_utf8;
};

} // namespace lunorvale
