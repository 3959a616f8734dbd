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
        // clang-format off
        {Kind::checkable, "checkable", "可检查移除"},
        {Kind::embeddedLoginItems, "embeddedLoginItems", "含包内登录助手"},
        {Kind::requiresQuit, "requiresQuit", "先退出应用"},
        {Kind::vendorManaged, "vendorManaged", "使用官方卸载方式"},
        {Kind::protected_, "protected", "受保护"},
        {Kind::unverified, "unverified", "检查未完成"},
        // clang-format on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ApplicationManagementGuidance::rawValue(row.kind), row.raw);
        EXPECT_EQ(ApplicationManagementGuidance::title(row.kind), row.title);
        EXPECT_EQ(ApplicationManagementGuidance::kindFromRawValue(row.raw), row.kind);
    }
    for (const char* wrong : {"Protected", " protected", "protected ", "", "checkable\n"})
        EXPECT_FALSE(ApplicationManagementGuidance::kindFromRawValue(wrong).has_value()) << wrong;
}

TEST(ManagementGuidance, DerivedFromTheRestrictionUnlessGiven) {
    const QUrl url = QUrl::fromLocalFile("/Applications/Sample.app");
    const auto make = [&](std::optional<QString> restriction,
                          std::optional<ApplicationManagementGuidance> given) {
        return InstalledApplication(url, "Sample", "org.example", "1", "Sample", std::nullopt, restriction,
                                    given);
    };
    EXPECT_EQ(make(std::nullopt, std::nullopt).management(),
              (ApplicationManagementGuidance{Kind::checkable, "仅移除所选程序包，程序包外的资料与缓存保留。",
                                             "检查通过后，再确认移到回收站。", std::nullopt}));
    EXPECT_EQ(make(QString(), std::nullopt).management(),
              (ApplicationManagementGuidance{Kind::unverified, "",
                                             "重新扫描，或在文件管理器中查看并使用原安装方式管理。",
                                             std::nullopt}));
    // A given guidance is kept even when it contradicts the restriction.
    const ApplicationManagementGuidance given{Kind::checkable, "r", "n", url};
    EXPECT_EQ(make("x", given).management(), given);
    EXPECT_EQ(make("x", given).id(), "/Applications/Sample.app");
    EXPECT_NE(make("x", given), make("y", given));
    // A guidance's sentence is its reason and next step.
    EXPECT_EQ(ApplicationManagementError::guidance({Kind::vendorManaged, "原因。", "下一步。", std::nullopt})
                  .errorDescription(),
              "原因。 下一步。");
    EXPECT_STREQ(ApplicationManagementError::blocked("句子。").what(), "句子。");
}
