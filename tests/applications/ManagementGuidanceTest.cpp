#include "core/applications/InstalledApplication.h"

#include <gtest/gtest.h>

using namespace lunorvale;
using Kind = ApplicationManagementGuidance::Kind;

TEST(ManagementGuidance, KindsRoundTripOnlyThroughExactNames) {
    const struct {
        Kind kind;
        const char* raw;
        const char* title;
    } rows[] = {
        {Kind::checkable, "checkable", "可检查移除"},
        {Kind::embeddedLoginItems, "embeddedLoginItems", "含包内登录助手"},
        {Kind::requiresQuit, "requiresQuit", "先退出应用"},
        {Kind::vendorManaged, "vendorManaged", "使用官方卸载方式"},
        {Kind::protected_, "protected", "受保护"},
        {Kind::unverified, "unverified", "检查未完成"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ApplicationManagementGuidance::rawValue(row.kind), QLatin1String(row.raw));
        EXPECT_EQ(ApplicationManagementGuidance::title(row.kind), QString::fromUtf8(row.title));
        EXPECT_EQ(ApplicationManagementGuidance::kindFromRawValue(QLatin1String(row.raw)), row.kind);
    }
    for (const char* wrong : {"Protected", " protected", "protected ", "", "checkable\n"})
        EXPECT_FALSE(ApplicationManagementGuidance::kindFromRawValue(QLatin1String(wrong)).has_value())
            << wrong;
}

TEST(ManagementGuidance, DerivedFromTheRestriction) {
    const QUrl url = QUrl::fromLocalFile("/Applications/Sample.app");
    const InstalledApplication open(url, "Sample", "org.example", "1", "Sample", std::nullopt, std::nullopt,
                                    std::nullopt);
    EXPECT_EQ(open.management(),
              (ApplicationManagementGuidance{
                  Kind::checkable, QStringLiteral("仅移除所选程序包，程序包外的资料与缓存保留。"),
                  QStringLiteral("检查通过后，再确认移到废纸篓。"), std::nullopt}));
    EXPECT_EQ(open.id(), "/Applications/Sample.app");

    const InstalledApplication empty(url, "Sample", "org.example", "1", "Sample", std::nullopt, QString(),
                                     std::nullopt);
    EXPECT_EQ(empty.management().kind, Kind::unverified);
    EXPECT_EQ(empty.management().reason, "");
    EXPECT_EQ(empty.management().nextStep, QStringLiteral("重新扫描，或在访达中查看并使用原安装方式管理。"));

    // A given guidance is kept even when it contradicts the restriction.
    const ApplicationManagementGuidance given{Kind::checkable, "r", "n", url};
    const InstalledApplication kept(url, "Sample", "org.example", "1", "Sample", std::nullopt, QString("x"),
                                    given);
    EXPECT_EQ(kept.management(), given);
    EXPECT_NE(kept, empty);
}

TEST(ManagementGuidance, ErrorDescriptions) {
    EXPECT_EQ(ApplicationManagementError::blocked("句子。").errorDescription(), QString::fromUtf8("句子。"));
    const ApplicationManagementGuidance noNextStep{Kind::vendorManaged, "原因。", "", std::nullopt};
    EXPECT_EQ(ApplicationManagementError::guidance(noNextStep).errorDescription(),
              QString::fromUtf8("原因。 "));
    EXPECT_STREQ(ApplicationManagementError::blocked("句子。").what(), "句子。");
}

TEST(ManagementGuidance, IdentitiesCompareTheHashExactly) {
    const ApplicationIdentity lower{1, 2, "ab"};
    EXPECT_EQ(lower, (ApplicationIdentity{1, 2, "ab"}));
    EXPECT_NE(lower, (ApplicationIdentity{1, 2, "AB"}));
    EXPECT_NE(lower, (ApplicationIdentity{1, 3, "ab"}));
}
