#include "BundleFixture.h"
#include "core/applications/ApplicationInventory.h"
#include "platform/files/CheckedFiles.h"

#include <QCoreApplication>
#include <unistd.h>

using namespace lunorvale;
using fixture::url;

namespace {

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ApplicationManagementError& error) {
        return error.errorDescription();
    }
    return {};
}

} // namespace

TEST(CheckedRead, ReadsAWholeSmallFile) {
    fixture::Root root;
    const QByteArray content(200000, 'z'); // several chunks
    fixture::writeFile(root.path + "/data", content);
    EXPECT_EQ(ApplicationInventory::readRegularFile(url(root.path + "/data"), 200000), content);
}

TEST(CheckedRead, RefusalsCarryTheirSentences) {
    fixture::Root root;
    fixture::writeFile(root.path + "/data", QByteArray(10, 'd'));
    QFile::link(root.path + "/data", root.path + "/link");
    root.sub("folder");
    const QString linked = root.sub("real");
    fixture::writeFile(linked + "/inner", "x");
    QFile::link(linked, root.path + "/via");

    const struct {
        QUrl url;
        qint64 maximum;
        QString message;
    } rows[] = {
        {url(root.path + "/data"), 9, QStringLiteral("文件不是普通文件或超过读取上限，操作已停止。")},
        {url(root.path + "/folder"), 100, QStringLiteral("文件不是普通文件或超过读取上限，操作已停止。")},
        {url(root.path + "/link"), 100, QStringLiteral("文件位置存在链接或已变化，无法安全读取。")},
        {url(root.path + "/via/inner"), 100, QStringLiteral("文件位置存在链接或已变化，无法安全读取。")},
        {url(root.path + "/absent"), 100, QStringLiteral("文件位置存在链接或已变化，无法安全读取。")},
        {QUrl("https://example.invalid/data"), 100,
         QStringLiteral("文件位置存在链接或已变化，无法安全读取。")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.url.toString().toStdString());
        EXPECT_EQ(errorOf([&] { ApplicationInventory::readRegularFile(row.url, row.maximum); }), row.message);
    }
}

TEST(CheckedRead, AFileLargerThanItsStatusSaidIsRefused) {
    // Kernel status files report size 0 and then deliver text: what was read differs from the size the
    // descriptor gave when opened, exactly as for a file that grew during the read.
    const QString status = QStringLiteral("/proc/%1/status").arg(QCoreApplication::applicationPid());
    EXPECT_EQ(errorOf([&] { ApplicationInventory::readRegularFile(url(status), 1 << 20); }),
              QStringLiteral("文件在读取时变化或超过读取上限，请重新检查。"));
}

TEST(CheckedRead, AFileThatGrowsWhileReadIsRefused) {
    fixture::Root root;
    const QString path = root.path + "/growing";
    fixture::writeFile(path, QByteArray(70000, 'g'));
    int chunk = 0;
    const CheckedFiles::ReadResult result = CheckedFiles::readRegularFile(path, 1 << 20, [&] {
        if (++chunk == 2) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::Append));
            file.write(QByteArray(100, 'm'));
        }
    });
    EXPECT_EQ(result.failure, CheckedFiles::ReadResult::Failure::changed);
    EXPECT_TRUE(result.bytes.isEmpty());
}

TEST(CheckedRead, AFileReplacedWhileReadIsRefused) {
    fixture::Root root;
    const QString path = root.path + "/replaced";
    fixture::writeFile(path, QByteArray(10, 'r'));
    const CheckedFiles::ReadResult result = CheckedFiles::readRegularFile(path, 100, [&] {
        fixture::writeFile(root.path + "/other", QByteArray(10, 'o'));
        ::rename(QFile::encodeName(root.path + "/other").constData(), QFile::encodeName(path).constData());
    });
    EXPECT_EQ(result.failure, CheckedFiles::ReadResult::Failure::changed);
}

TEST(CheckedRead, CancellationBetweenChunksThrowsAndClosesTheFile) {
    fixture::Root root;
    fixture::writeFile(root.path + "/data", QByteArray(10, 'c'));
    CancellationSource source;
    source.cancel();
    EXPECT_THROW(ApplicationInventory::readRegularFile(url(root.path + "/data"), 100, source.token()),
                 CancellationError);
}

TEST(CheckedRead, NodeDescribesTheLinkItself) {
    fixture::Root root;
    const QString folder = root.sub("folder");
    QFile::link(folder, root.path + "/link");
    EXPECT_TRUE(ApplicationInventory::node(url(root.path + "/link")).isSymbolicLink());
    EXPECT_TRUE(ApplicationInventory::node(url(folder)).isDirectory());
    EXPECT_EQ(errorOf([&] { ApplicationInventory::node(url(root.path + "/absent")); }),
              QStringLiteral("目标不存在或无法读取，请重新扫描。"));
    EXPECT_EQ(errorOf([&] { ApplicationInventory::node(QUrl("https://example.invalid/x")); }),
              QStringLiteral("仅支持本地文件地址，请重新扫描应用。"));
}
