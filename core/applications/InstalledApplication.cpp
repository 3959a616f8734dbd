#include "core/applications/InstalledApplication.h"

namespace lunorvale {

QString ApplicationManagementGuidance::rawValue(Kind kind) {
    switch (kind) {
    case Kind::checkable:
        return QStringLiteral("checkable");
    case Kind::embeddedLoginItems:
        return QStringLiteral("embeddedLoginItems");
    case Kind::requiresQuit:
        return QStringLiteral("requiresQuit");
    case Kind::vendorManaged:
        return QStringLiteral("vendorManaged");
    case Kind::protected_:
        return QStringLiteral("protected");
    case Kind::unverified:
        return QStringLiteral("unverified");
    }
    return {};
}

QString ApplicationManagementGuidance::title(Kind kind) {
    switch (kind) {
    case Kind::checkable:
        return QStringLiteral("可检查移除");
    case Kind::embeddedLoginItems:
        return QStringLiteral("含包内登录助手");
    case Kind::requiresQuit:
        return QStringLiteral("先退出应用");
    case Kind::vendorManaged:
        return QStringLiteral("使用官方卸载方式");
    case Kind::protected_:
        return QStringLiteral("受保护");
    case Kind::unverified:
        return QStringLiteral("检查未完成");
    }
    return {};
}

std::optional<ApplicationManagementGuidance::Kind>
ApplicationManagementGuidance::kindFromRawValue(const QString& raw) {
    for (const Kind kind : {Kind::checkable, Kind::embeddedLoginItems, Kind::requiresQuit,
                            Kind::vendorManaged, Kind::protected_, Kind::unverified}) {
        if (raw == rawValue(kind))
            return kind;
    }
    return std::nullopt;
}

namespace {
ApplicationManagementGuidance derivedGuidance(const std::optional<QString>& restriction) {
    using Kind = ApplicationManagementGuidance::Kind;
    if (!restriction)
        return {Kind::checkable, QStringLiteral("仅移除所选程序包，程序包外的资料与缓存保留。"),
                QStringLiteral("检查通过后，再确认移到回收站。"), std::nullopt};
    return {Kind::unverified, *restriction,
            QStringLiteral("重新扫描，或在文件管理器中查看并使用原安装方式管理。"), std::nullopt};
}
} // namespace

InstalledApplication::InstalledApplication(QUrl url, QString name, QString bundleID, QString version,
                                           QString executable, std::optional<ApplicationIdentity> identity,
                                           std::optional<QString> restriction,
                                           std::optional<ApplicationManagementGuidance> management,
                                           std::optional<QString> shownName)
    : m_url(std::move(url)), m_name(std::move(name)), m_shownName(shownName.value_or(m_name)),
      m_bundleID(std::move(bundleID)), m_version(std::move(version)), m_executable(std::move(executable)),
      m_identity(std::move(identity)), m_restriction(std::move(restriction)),
      m_management(management ? std::move(*management) : derivedGuidance(m_restriction)) {}

ApplicationManagementError::ApplicationManagementError(Kind kind, QString message,
                                                       std::optional<ApplicationManagementGuidance> guidance)
    : m_kind(kind), m_message(std::move(message)), m_guidance(std::move(guidance)) {
    m_utf8 = errorDescription().toUtf8();
}

ApplicationManagementError ApplicationManagementError::blocked(QString message) {
    return ApplicationManagementError(Kind::blocked, std::move(message), std::nullopt);
}

ApplicationManagementError ApplicationManagementError::guidance(ApplicationManagementGuidance guidance) {
    return ApplicationManagementError(Kind::guidance, {}, std::move(guidance));
}

QString ApplicationManagementError::errorDescription() const {
    if (m_kind == Kind::guidance && m_guidance)
        return m_guidance->reason + u' ' + m_guidance->nextStep;
    return m_message;
}

} // namespace lunorvale
