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
    QJsonObject incomplete = object;
    incomplete.remove("version");
    EXPECT_FALSE(ApplicationAdviceItem::fromJson(incomplete).has_value());
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

    // Twenty items whose text grows across the limit: every accepted document fits, and past some
    // length every document is refused.
    const QString tooLong = QString::fromUtf8("清单较长，请减少所选应用后重试。");
    int accepted = 0;
    int refused = 0;
    for (int nameLength = 150; nameLength <= 400; nameLength += 10) {
        const QList<ApplicationAdviceItem> items(
            20, ApplicationAdviceItem(application(QString(nameLength, u'n')), 1, false));
        try {
            const QString text = ApplicationAdviceSummary::make(items);
            EXPECT_LE(text.toUtf8().size(), 8192) << nameLength;
            EXPECT_EQ(refused, 0) << "a longer list was accepted after a shorter one was refused";
            ++accepted;
        } catch (const ApplicationManagementError& error) {
            EXPECT_EQ(error.errorDescription(), tooLong);
            ++refused;
        }
    }
    EXPECT_GT(accepted, 0);
    EXPECT_GT(refused, 0);
    const ApplicationAdviceItem huge(application(QString(9000, u'h')), 1, false);
    EXPECT_EQ(errorOf({huge}), tooLong);
}
