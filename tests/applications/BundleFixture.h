#pragma once

#include "core/applications/ApplicationInventory.h"
#include "support/Files.h"
#include "support/PropertyListEncoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

// Builds application bundles and property lists for the inventory tests, always below a temporary folder.
namespace fixture {

using Format = lunorvale::test::PlistFormat;

inline QByteArray encode(const QVariant& value, Format format = Format::xml) {
    return lunorvale::test::encodePlist(value, format);
}

using lunorvale::test::writeFile;

inline QVariantMap info(const QString& identifier, const QString& name = QStringLiteral("Sample"),
                        const QString& executable = QStringLiteral("Sample")) {
    return {{"CFBundleIdentifier", identifier},
            {"CFBundleName", name},
            {"CFBundleExecutable", executable},
            {"CFBundlePackageType", "APPL"},
            {"CFBundleShortVersionString", "1.0"}};
}

// parent/name with Contents/Info.plist; returns the bundle's path.
inline QString makeBundle(const QString& parent, const QString& name, const QVariantMap& values,
                          Format format = Format::xml) {
    const QString bundle = parent + u'/' + name;
    writeFile(bundle + "/Contents/Info.plist", encode(values, format));
    return bundle;
}

inline QUrl url(const QString& path) {
    return QUrl::fromLocalFile(path);
}

// The sentence of the ApplicationManagementError an action throws; empty when it throws none.
inline QString errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const lunorvale::ApplicationManagementError& error) {
        return error.errorDescription();
    }
    return {};
}

// A temporary folder addressed by its resolved path, so that roots below it are their own resolved paths.
struct Root {
    QTemporaryDir temporary;
    QString path = QFileInfo(temporary.path()).canonicalFilePath();
    QString sub(const QString& relative) const {
        QDir().mkpath(path + u'/' + relative);
        return path + u'/' + relative;
    }
};

} // namespace fixture
