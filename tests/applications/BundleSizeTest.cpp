#include "BundleFixture.h"
#include "core/applications/ApplicationInventory.h"

#include <unistd.h>

using namespace lunorvale;
using fixture::url;

namespace {

const QString changed = QStringLiteral("应用已变化，请重新扫描。");

QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ApplicationManagementError& error) {
        return error.errorDescription();
    }
    return {};
}

} // namespace

TEST(BundleSize, CountsDistinctRegularFilesOnce) {
    fixture::Root root;
    const QString bundle = fixture::makeBundle(root.path, "Sized.app", fixture::info("org.example.sized"));
    const qint64 plistBytes = QFileInfo(bundle + "/Contents/Info.plist").size();
    fixture::writeFile(bundle + "/Contents/MacOS/Sized", QByteArray(1000, 'a'));
    fixture::writeFile(bundle + "/Contents/Resources/.hidden", QByteArray(24, 'h'));
    ASSERT_EQ(::link(QFile::encodeName(bundle + "/Contents/MacOS/Sized").constData(),
                     QFile::encodeName(bundle + "/Contents/Resources/hardlink").constData()),
              0);
    // A link to a large folder outside the bundle adds nothing.
    const QString large = root.sub("large");
    fixture::writeFile(large + "/big", QByteArray(1 << 20, 'b'));
    QFile::link(large, bundle + "/Contents/Resources/large");
    QFile::link(large + "/big", bundle + "/Contents/Resources/big-link");

    const InstalledApplication application = ApplicationInventory::read(url(bundle));
    EXPECT_EQ(ApplicationInventory::bundleSize(application), plistBytes + 1000 + 24);
}

TEST(BundleSize, RefusesABundleThatChangedSinceTheScan) {
    fixture::Root root;
    const QString bundle = fixture::makeBundle(root.path, "Edited.app", fixture::info("org.example.edited"));
    const InstalledApplication application = ApplicationInventory::read(url(bundle));
    ASSERT_TRUE(application.identity().has_value());

    QVariantMap edited = fixture::info("org.example.edited");
    edited.insert("CFBundleShortVersionString", "1.1");
    fixture::writeFile(bundle + "/Contents/Info.plist", fixture::encode(edited, fixture::Format::xml));
    EXPECT_EQ(errorOf([&] { ApplicationInventory::bundleSize(application); }), changed);

    const InstalledApplication unread(url(bundle), "Edited", "org.example.edited", "1.0", "Sample",
                                      std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(errorOf([&] { ApplicationInventory::bundleSize(unread); }), changed);
}

TEST(BundleSize, CancellationStopsTheWalk) {
    fixture::Root root;
    const QString bundle = fixture::makeBundle(root.path, "Cancel.app", fixture::info("org.example.cancel"));
    const InstalledApplication application = ApplicationInventory::read(url(bundle));
    CancellationSource source;
    source.cancel();
    EXPECT_THROW(ApplicationInventory::bundleSize(application, source.token()), CancellationError);
}
