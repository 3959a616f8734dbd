#include "applications/BundleFixture.h"
#include "library/LibraryHarness.h"
#include "platform/gui/ApplicationIconLoader.h"
#include "platform/gui/IcnsReader.h"
#include "support/EventLoop.h"

#include <QBuffer>
#include <QSignalSpy>
#include <atomic>
#include <future>
#include <sys/stat.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

QByteArray png(int side, QColor colour) {
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray bigEndian(quint32 value) {
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

QByteArray icns(const QList<std::pair<QByteArray, QByteArray>>& entries) {
    QByteArray body;
    for (const auto& [type, data] : entries)
        body += type + bigEndian(quint32(data.size() + 8)) + data;
    return "icns" + bigEndian(quint32(body.size() + 8)) + body;
}

const QByteArray sample = icns({{"ic10", png(1024, Qt::red)},
                                {"ic07", png(128, Qt::green)},
                                {"ic08", png(256, Qt::blue)},
                                {"is32", QByteArray(300, 'x')}});

} // namespace

TEST(ApplicationIcon, ChoosesTheSmallestLargeEnoughPngAndRefusesTheRest) {
    const QImage icon = ApplicationIconLoader::decode(sample, 32);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(icon.pixelColor(16, 16), QColor(Qt::green));
    EXPECT_EQ(ApplicationIconLoader::decode(sample, 200).pixelColor(5, 5), QColor(Qt::blue));

    QByteArray huge = png(16, Qt::red);
    huge.replace(16, 8, bigEndian(30000) + bigEndian(30000));
    const QByteArray refused[] = {
        {},
        "icns",
        sample.left(sample.size() / 2).left(20),
        QByteArray(4096, '\xff'),
        icns({{"is32", QByteArray(600, 'x')}}),
        icns({{"ic10", huge}}),
        "icns" + bigEndian(8000) + "ic07" + bigEndian(9),
        icns({{"ic07", png(128, Qt::green).left(40)}}),
    };
    for (const QByteArray& file : refused)
        EXPECT_TRUE(ApplicationIconLoader::decode(file, 32).isNull()) << file.left(24).toHex().toStdString();
    // A cut file keeps the entries that fit.
    EXPECT_EQ(IcnsReader::pngEntries(sample.left(sample.size() - 400)).size(), 2);
}

// The icon file is whatever the bundle names, read only inside its Resources and only as a plain file.
TEST(ApplicationIcon, ReadsOnlyTheBundlesOwnPlainIconFile) {
    fixture::Root root;
    const QString outside = root.sub("elsewhere") + "/AppIcon.icns";
    fixture::writeFile(outside, sample);
    struct Case {
        const char* name;
        QVariant iconFile;
        std::function<void(const QString& resources)> prepare;
        bool shown;
    };
    const auto write = [](const char* file) {
        return [file](const QString& resources) {
            fixture::writeFile(resources + "/" + file, sample);
        };
    };
    const Case cases[] = {
        {"named", "AppIcon.icns", write("AppIcon.icns"), true},
        {"no extension", "AppIcon", write("AppIcon.icns"), true},
        {"no key", {}, write("AppIcon.icns"), false},
        {"not text", 3, write("AppIcon.icns"), false},
        {"missing file", "Other", write("AppIcon.icns"), false},
        {"parent", "../AppIcon.icns", write("AppIcon.icns"), false},
        {"slash", "x/AppIcon.icns",
         [](const QString& r) { fixture::writeFile(r + "/x/AppIcon.icns", sample); }, false},
        {"link", "AppIcon.icns", [&](const QString& r) { QFile::link(outside, r + "/AppIcon.icns"); }, false},
        {"fifo", "AppIcon.icns",
         [](const QString& r) { mkfifo(QFile::encodeName(r + "/AppIcon.icns"), 0600); }, false},
        {"not png", "AppIcon.icns",
         [](const QString& r) {
             fixture::writeFile(r + "/AppIcon.icns", icns({{"is32", QByteArray(64, 'x')}}));
         },
         false},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        QVariantMap info = fixture::info("com.example." + QString(test.name).remove(' '));
        if (test.iconFile.isValid())
            info.insert("CFBundleIconFile", test.iconFile);
        info.insert("CFBundleIconName", "AppIcon");
        const QString bundle =
            fixture::makeBundle(root.sub("Applications"), QString(test.name) + ".app", info);
        QDir().mkpath(bundle + "/Contents/Resources");
        test.prepare(bundle + "/Contents/Resources");
        QImage image;
        try {
            if (const std::optional<QByteArray> file = ApplicationIconLoader::iconFile(bundle))
                image = ApplicationIconLoader::decode(*file, 32);
        } catch (...) {
        }
        EXPECT_EQ(!image.isNull(), test.shown);
    }
}

// Loading never waits on the interface thread; what a left page still receives is dropped.
TEST(ApplicationIcon, LoadsOffTheInterfaceThreadOncePerBundle) {
    // Holds the first read until the test lets it go on.
    std::promise<void> reached, release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> reads = 0;
    ApplicationIconLoader loader([&](const QString&) {
        if (++reads == 1) {
            reached.set_value();
            released.wait();
        }
        return std::optional<QByteArray>(sample);
    });
    // Each load hands its result to the application object in one queued call.
    struct Deliveries final : QObject {
        int count = 0;
        bool eventFilter(QObject* target, QEvent* event) override {
            count += target == qApp && event->type() == QEvent::MetaCall;
            return false;
        }
    } deliveries;
    qApp->installEventFilter(&deliveries);
    QSignalSpy loaded(&loader, &ApplicationIconLoader::loaded);
    EXPECT_FALSE(loader.icon("/A.app", 32));
    EXPECT_FALSE(loader.icon("/A.app", 32));
    ASSERT_EQ(reached.get_future().wait_for(test::waitBound), std::future_status::ready);
    loader.leave();
    release.set_value();
    ASSERT_TRUE(waitUntil([&] { return deliveries.count == 1; }));
    EXPECT_EQ(loaded.count(), 0);

    EXPECT_FALSE(loader.icon("/A.app", 32));
    ASSERT_TRUE(waitUntil([&] { return loaded.count() == 1; }));
    EXPECT_EQ(loader.icon("/A.app", 32)->size(), QSize(32, 32));
    EXPECT_EQ(reads, 2);
    EXPECT_EQ(deliveries.count, 2);
}
