#include "ui/settings/SoftwareUpdateLogic.h"

namespace lunorvale {

BundleVersion BundleVersion::current() {
    BundleVersion version;
    version.shortVersion = QStringLiteral(LUNORVALE_VERSION);
#ifdef LUNORVALE_BUILD_NUMBER
    version.build = QStringLiteral(LUNORVALE_BUILD_NUMBER);
#endif
    return version;
}

QString BundleVersion::text() const {
    const QString release = shortVersion.value_or(QStringLiteral("—"));
    return build ? release + QStringLiteral("（") + *build + QStringLiteral("）") : release;
}

namespace SoftwareUpdateTexts {

QUrl downloadPage() {
    return QUrl(QStringLiteral("https://lunorvale.app/lunorvale/"));
}

QString buttonSymbol(const std::optional<QString>& availableVersion) {
    return availableVersion ? QStringLiteral("arrow.down.circle.fill")
                            : QStringLiteral("arrow.triangle.2.circlepath");
}

QString bannerText(const std::optional<QString>& availableVersion, bool readyToInstall) {
    if (!availableVersion)
        return {};
    if (readyToInstall)
        return *availableVersion + QStringLiteral(" 已准备好，重启岚栖即可完成更新。");
    return QStringLiteral("岚栖 ") + *availableVersion + QStringLiteral(" 已发布，可查看更新内容。");
}

QString reminderText(const std::optional<QString>& availableVersion, bool readyToInstall) {
    if (!availableVersion)
        return {};
    if (readyToInstall)
        return *availableVersion + QStringLiteral(" 已准备好，查看更新");
    return QStringLiteral("有新版本 ") + *availableVersion;
}

QString reminderAccessibleName(bool readyToInstall) {
    return readyToInstall ? QStringLiteral("新版已准备好，查看更新") : QStringLiteral("发现新版本，查看更新");
}

StateLine stateLine(const QString& status, const std::optional<QString>& failure) {
    if (failure)
        return {*failure, true};
    return {status, false};
}

QString lastCheckText(const QDateTime& date) {
    return QStringLiteral("上次检查：") + date.toLocalTime().toString(QStringLiteral("yyyy年M月d日 HH:mm"));
}

bool automaticInstallEnabled(bool isStarted, bool automaticallyChecks) {
    return isStarted && automaticallyChecks;
}

} // namespace SoftwareUpdateTexts
} // namespace lunorvale
