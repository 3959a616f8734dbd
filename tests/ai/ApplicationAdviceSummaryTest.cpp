#include "core/ai/ApplicationAdviceSummary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace lunorvale;

namespace {

InstalledApplication application(const QString& name, std::optional<QString> restriction = std::nullopt) {
    return InstalledApplication(QUrl::fromLocalFile("/synthetic/never-send-this-path.app"), name,
                                "org.example/app", "1.0", "never-send-this-executable",
                                ApplicationIdentity{1, 2, QString(64, u'a')}, restriction, std::nullopt);
}

QString errorOf(const QList<ApplicationAdviceItem>& items) {
    try {
        ApplicationAdviceSummary::make(items);
    } catch (const ApplicationManagementError& error) {
        return error.errorDescription();
    }
    return {};
}

} // namespace

TEST(ApplicationAdviceSummary, OneItemDocument) {
    const ApplicationAdviceItem item(application("Editor", QString::fromUtf8("受保护。")), 123456789012LL,
                                     true);
    const QString text = ApplicationAdviceSummary::make({item});
    EXPECT_FALSE(text.contains("never-send"));
    EXPECT_FALSE(text.contains("/synthetic"));
    EXPECT_TRUE(text.contains("org.example/app")); // slashes are not escaped
    EXPECT_TRUE(text.contains('\n'));              // pretty-printed
    EXPECT_LT(text.indexOf("\"applications\""), text.indexOf("\"scope\""));

    const QJsonObject document = QJsonDocument::fromJson(text.toUtf8()).object();
    EXPECT_EQ(document.keys(), (QStringList{"applications", "scope"}));
    EXPECT_EQ(document.value("scope").toString(),
              QString::fromUtf8("用户选择的应用；仅当前快照，使用历史未知；未联网核实用途或版本"));
    const QJsonObject first = document.value("applications").toArray().first().toObject();
    EXPECT_EQ(first.value("bundleBytes").toInteger(), 123456789012LL);
    EXPECT_EQ(ApplicationAdviceItem::fromJson(first), item);
    // Keys within an item are sorted too.
    EXPECT_LT(text.indexOf("\"bundleBytes\""), text.indexOf("\"bundleIdentifier\""));
    EXPECT_LT(text.indexOf("\"removalRestriction\""), text.indexOf("\"runningInCurrentSnapshot\""));
}

TEST(ApplicationAdviceSummary, OptionalFieldsAreLeftOut) {
    const ApplicationAdviceItem item(application("Viewer"), std::nullopt, false);
    const QJsonObject object = item.toJson();
    EXPECT_EQ(object.keys(),
              (QStringList{"bundleIdentifier", "name", "runningInCurrentSnapshot", "version"}));
    EXPECT_EQ(ApplicationAdviceItem::fromJson(object), item);
    QJsonObject fractional = object;
    fractional.insert("bundleBytes", 1.5);
    EXPECT_FALSE(ApplicationAdviceItem::fromJson(fractional).has_value());
}

TEST(ApplicationAdviceSummary, CountAndSizeLimits) {
    const QString count = QString::fromUtf8("每次请选择 1–20 个应用进行分析。");
    const ApplicationAdviceItem small(application("A"), 1, false);
    EXPECT_EQ(errorOf({}), count);
    EXPECT_EQ(errorOf(QList<ApplicationAdviceItem>(21, small)), count);
    EXPECT_TRUE(errorOf(QList<ApplicationAdviceItem>(20, small)).isEmpty());

    // Each further letter of the name adds one byte: a document of exactly 8,192 bytes passes, one more
    // byte is refused.
    const auto named = [](qsizetype length) {
        return QList<ApplicationAdviceItem>{
            ApplicationAdviceItem(application(QString(length, u'n')), 1, false)};
    };
    const qsizetype base = ApplicationAdviceSummary::make(named(0)).toUtf8().size();
    EXPECT_EQ(ApplicationAdviceSummary::make(named(8192 - base)).toUtf8().size(), 8192);
    EXPECT_EQ(errorOf(named(8193 - base)), QString::fromUtf8("清单较长，请减少所选应用后重试。"));
}
