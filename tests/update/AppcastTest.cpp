#include "platform/update/Appcast.h"
#include "support/Thrown.h"

#include <gtest/gtest.h>

using namespace lunorvale;

TEST(Appcast, VersionsCompareRunByRun) {
    using std::strong_ordering;
    const QList<std::tuple<const char*, const char*, strong_ordering>> cases{
        {"1.10", "1.9", strong_ordering::greater},
        {"1.0.1", "1.0", strong_ordering::greater},
        {"1.0b1", "1.0", strong_ordering::less},
        {"1.0b2", "1.0b10", strong_ordering::less},
        {"1.0a1", "1.0b1", strong_ordering::less},
        {"1.0b1", "1.0.1", strong_ordering::less},
        {"1.2.0", "1-2-0", strong_ordering::equal},
        {" 2.0 ", "2.00", strong_ordering::equal},
        {"99999999999999999999999", "99999999999999999999998", strong_ordering::greater},
        {"", "0", strong_ordering::less},
    };
    for (const auto& [left, right, order] : cases) {
        EXPECT_EQ(Appcast::compareVersions(QString::fromLatin1(left), QString::fromLatin1(right)), order)
            << left << " vs " << right;
        EXPECT_EQ(Appcast::compareVersions(QString::fromLatin1(right), QString::fromLatin1(left)),
                  0 <=> order)
            << right << " vs " << left;
    }
}

TEST(Appcast, ReadsReleasesAndLeavesOutUnusableOnes) {
    const QByteArray feed = R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle"><channel>
 <item><title>旧版</title><enclosure url="https://u.invalid/1.1" sparkle:version="1.1" length="10"
   sparkle:edSignature="c2ln"/></item>
 <item><title> 新版 </title><description><![CDATA[<p>说明</p>]]></description>
   <sparkle:version>120</sparkle:version><sparkle:shortVersionString>1.2.0</sparkle:shortVersionString>
   <sparkle:criticalUpdate sparkle:version="1.0"></sparkle:criticalUpdate>
   <enclosure url="https://u.invalid/1.2" length="2048" sparkle:edSignature=" c2ln " sparkle:os="linux"/></item>
 <item><sparkle:version>130</sparkle:version><enclosure url="https://u.invalid/mac" length="1" sparkle:os="macos"/></item>
 <item><sparkle:version>140</sparkle:version></item>
 <item><enclosure url="https://u.invalid/unversioned" length="1"/></item>
</channel></rss>)";
    const QList<AppcastItem> items = Appcast::parse(feed);
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0], (AppcastItem{QStringLiteral("旧版"),
                                     QStringLiteral("1.1"),
                                     QStringLiteral("1.1"),
                                     false,
                                     {},
                                     QUrl(QStringLiteral("https://u.invalid/1.1")),
                                     10,
                                     QStringLiteral("c2ln")}));
    EXPECT_EQ(items[1],
              (AppcastItem{QStringLiteral("新版"), QStringLiteral("120"), QStringLiteral("1.2.0"), true,
                           QStringLiteral("<p>说明</p>"), QUrl(QStringLiteral("https://u.invalid/1.2")), 2048,
                           QStringLiteral("c2ln")}));

    EXPECT_EQ(Appcast::bestItem(items, QStringLiteral("1.0"))->version, QStringLiteral("120"));
    EXPECT_EQ(Appcast::bestItem(items, QStringLiteral("1.0"), QStringLiteral("1.1"))->version,
              QStringLiteral("120"));
    // A skipped version also leaves out every older one.
    EXPECT_FALSE(Appcast::bestItem(items, QStringLiteral("1.0"), QStringLiteral("120")));
    EXPECT_FALSE(Appcast::bestItem(items, QStringLiteral("120")));

    for (const QByteArray& bad : {QByteArray("<html/>"), QByteArray("<rss><channel><item>"), QByteArray(""),
                                  QByteArray("<rss><item><sparkle:version>1</sparkle:version></item></rss>"),
                                  QByteArray(Appcast::maximumBytes + 1, ' ')}) {
        const auto thrown = test::thrownBy<UpdateError>([&] { Appcast::parse(bad); });
        ASSERT_TRUE(thrown) << bad.left(80).toStdString();
        EXPECT_EQ(thrown->code, UpdateError::appcastInvalid);
    }
}
