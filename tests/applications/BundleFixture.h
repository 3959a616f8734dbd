#pragma once

#include "core/applications/ApplicationInventory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <plist/plist.h>

// Builds application bundles and property lists for the inventory tests, always below a temporary folder.
namespace fixture {

enum class Format { xml, binary };

inline plist_t toPlist(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::QVariantMap: {
        plist_t dict = plist_new_dict();
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            plist_dict_set_item(dict, it.key().toUtf8().constData(), toPlist(it.value()));
        return dict;
    }
    case QMetaType::QVariantList: {
        plist_t array = plist_new_array();
        for (const QVariant& item : value.toList())
            plist_array_append_item(array, toPlist(item));
        return array;
    }
    case QMetaType::Bool:
        return plist_new_bool(value.toBool());
    case QMetaType::Int:
    case QMetaType::LongLong:
        return plist_new_uint(static_cast<uint64_t>(value.toLongLong()));
    case QMetaType::Double:
        return plist_new_real(value.toDouble());
    case QMetaType::QByteArray:
        return plist_new_data(value.toByteArray().constData(), uint64_t(value.toByteArray().size()));
    default:
        return plist_new_string(value.toString().toUtf8().constData());
    }
}

inline QByteArray encode(const QVariant& value, Format format = Format::xml) {
    plist_t root = toPlist(value);
    char* bytes = nullptr;
    uint32_t length = 0;
    format == Format::binary ? plist_to_bin(root, &bytes, &length) : plist_to_xml(root, &bytes, &length);
    QByteArray result(bytes, static_cast<qsizetype>(length));
    std::free(bytes);
    plist_free(root);
    return result;
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(bytes), bytes.size());
}

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
