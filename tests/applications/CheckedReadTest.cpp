#include "BundleFixture.h"
#include "platform/files/CheckedFiles.h"

#include <QCoreApplication>
#include <cstdio>
#include <limits>
#include <unistd.h>

using namespace lunorvale;
using fixture::url;

TEST(CheckedRead, ReadsTheWholeFileOrRefusesWithItsSentence) {
    fixture::Root root;
    const QByteArray content(200000, 'z'); // several chunks
    fixture::writeFile(root.path + "/data", content);
    QFile::link(root.path + "/data", root.path + "/link");
    root.sub("folder");
    fixture::writeFile(root.sub("real") + "/inner", "x");
    QFile::link(root.path + "/real", root.path + "/via");
    const QString tooLarge = "文件不是普通文件或超过读取上限，操作已停止。";
    const QString linked = "文件位置存在链接或已变化，无法安全读取。";
    const struct {
        QUrl url;
        int64_t maximum;
        QString message; // empty: the whole content is read
    } rows[] = {
        {url(root.path + "/data"), 200000, {}},
        {url(root.path + "/data"), std::numeric_limits<int64_t>::max(), {}},
        {url(root.path + "/data"), 199999, tooLarge},
        {url(root.path + "/folder"), 100, tooLarge},
        {url(root.path + "/link"), 1 << 20, linked},
        {url(root.path + "/via/inner"), 100, linked},
        {url(root.path + "/absent"), 100, linked},
        {QUrl("https://example.invalid/data"), 100, linked},
        // Kernel status files report size 0 and then deliver text, like a file that grew while read.
        {url(QStringLiteral("/proc/%1/status").arg(QCoreApplication::applicationPid())), 1 << 20,
         "文件在读取时变化或超过读取上限，请重新检查。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url.toString().toStdString() + " " + std::to_string(row.maximum));
        QByteArray bytes;
        EXPECT_EQ(
            fixture::errorOf([&] { bytes = ApplicationInventory::readRegularFile(row.url, row.maximum); }),
            row.message);
        EXPECT_EQ(bytes, row.message.isEmpty() ? content : QByteArray());
    }
}

TEST(CheckedRead, AFileThatGrowsOrIsReplacedWhileReadIsRefused) {
    fixture::Root root;
    const QString path = root.path + "/file";
    const std::function<void()> changes[] = {
        [&] {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(QByteArray(100, 'm'));
        },
        [&] {
            fixture::writeFile(root.path + "/other", QByteArray(70000, 'o'));
            std::rename(QFile::encodeName(root.path + "/other"), QFile::encodeName(path));
        },
    };
    for (const auto& change : changes) {
        fixture::writeFile(path, QByteArray(70000, 'g'));
        int chunk = 0;
        const CheckedFiles::ReadResult result = CheckedFiles::readRegularFile(path, 1 << 20, [&] {
            if (++chunk == 2)
                change();
        });
        EXPECT_EQ(result.failure, CheckedFiles::ReadResult::Failure::changed);
        EXPECT_TRUE(result.bytes.isEmpty());
    }
}

TEST(CheckedRead, NodeDescribesTheLinkItselfOrRefuses) {
    fixture::Root root;
    QFile::link(root.sub("folder"), root.path + "/link");
    EXPECT_TRUE(ApplicationInventory::node(url(root.path + "/link")).isSymbolicLink());
    EXPECT_EQ(fixture::errorOf([&] { ApplicationInventory::node(url(root.path + "/absent")); }),
              "目标不存在或无法读取，请重新扫描。");
    EXPECT_EQ(fixture::errorOf([&] { ApplicationInventory::node(QUrl("https://example.invalid/x")); }),
              "仅支持本地文件地址，请重新扫描应用。");
}

TEST(BundleSize, CountsDistinctRegularFilesOnceAndRefusesAChangedBundle) {
    fixture::Root root;
    const QVariantMap values = fixture::info("org.example.sized");
    const QString bundle = fixture::makeBundle(root.path, "Sized.app", values);
    const qint64 plistBytes = QFileInfo(bundle + "/Contents/Info.plist").size();
    fixture::writeFile(bundle + "/Contents/MacOS/Sized", QByteArray(1000, 'a'));
    fixture::writeFile(bundle + "/Contents/Resources/.hidden", QByteArray(24, 'h'));
    ASSERT_EQ(::link(QFile::encodeName(bundle + "/Contents/MacOS/Sized").constData(),
                     QFile::encodeName(bundle + "/Contents/Resources/hardlink").constData()),
              0);
    // Links to a large folder and file outside the bundle add nothing.
    fixture::writeFile(root.sub("large") + "/big", QByteArray(1 << 20, 'b'));
    QFile::link(root.path + "/large", bundle + "/Contents/Resources/large");
    QFile::link(root.path + "/large/big", bundle + "/Contents/Resources/big-link");
    const InstalledApplication application = ApplicationInventory::read(url(bundle));
    EXPECT_EQ(ApplicationInventory::bundleSize(application), plistBytes + 1024);

    // Edited after the scan, or never read: the size is refused.
    fixture::writeFile(bundle + "/Contents/Info.plist", fixture::encode(values) + "\n");
    const InstalledApplication unread(url(bundle), "Sized", "org.example.sized", "1.0", "Sample",
                                      std::nullopt, std::nullopt, std::nullopt);
    for (const InstalledApplication& stale : {application, unread})
        EXPECT_EQ(fixture::errorOf([&] { ApplicationInventory::bundleSize(stale); }),
                  "应用已变化，请重新扫描。");
}
