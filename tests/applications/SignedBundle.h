#pragma once

#include "BundleFixture.h"
#include "core/applications/ApplicationRemovalService.h"
#include "fixtures/SignedCode.h"
#include "support/Thrown.h"

#include <QFileInfo>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

// Signed application bundles for the removal tests, always below a temporary folder.
namespace fixture {

inline QVariantMap appInfo(const QString& identifier, const QString& executable = QStringLiteral("Sample")) {
    return info(identifier, QStringLiteral("Sample"), executable);
}

// root/Applications/<name>: its Info.plist, one resource, signed by `spec`.
struct SignedApp {
    Root root;
    QString folder = root.sub(QStringLiteral("Applications"));
    QString path;
    QByteArray unique;

    explicit SignedApp(const CodeSpec& spec = {}, const QString& name = QStringLiteral("Sample.app"),
                       const std::function<void(const QString&)>& beforeSigning = {})
        : path(makeBundle(folder, name, appInfo(QStringLiteral("com.example.sample")))) {
        writeFile(path + "/Contents/Resources/readme.txt", "hello");
        if (beforeSigning)
            beforeSigning(path);
        unique = signBundle(path, spec);
    }
    QUrl url() const { return QUrl::fromLocalFile(path); }
    lunorvale::InstalledApplication read() const {
        return lunorvale::ApplicationInventory::checkedRead(url());
    }
};

// The error an action throws as an ApplicationManagementError; absent when it throws none.
inline std::optional<lunorvale::ApplicationManagementError> refusal(const std::function<void()>& action) {
    return lunorvale::test::thrownBy<lunorvale::ApplicationManagementError>(action);
}

// A guidance's reason and related path, "" for a blocked error, or "pass".
inline std::pair<QString, QString> reasonOf(const std::function<void()>& action) {
    const auto error = refusal(action);
    if (!error)
        return {QStringLiteral("pass"), {}};
    if (!error->guidanceValue())
        return {error->message(), {}};
    const auto& guidance = *error->guidanceValue();
    return {guidance.reason, guidance.relatedURL ? guidance.relatedURL->path() : QString()};
}

// folder/name, a name given by its bytes: QFile would write U+FFFD for each byte that is no UTF-8.
inline void writeByteNamed(const QString& folder, const char* name, const QByteArray& bytes) {
    QDir().mkpath(folder);
    const int fd = ::open((QFile::encodeName(folder) + '/' + name).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0) << name;
    EXPECT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
}

// Removes the tree at path by its bytes, which QTemporaryDir cannot do for a name that is no UTF-8.
inline void removeByBytes(const QString& path) {
    std::error_code ignored;
    std::filesystem::remove_all(QFile::encodeName(path).toStdString(), ignored);
}

inline void flipByte(const QString& path, qint64 offset) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    file.seek(offset < 0 ? file.size() + offset : offset);
    char byte = 0;
    file.getChar(&byte);
    file.seek(offset < 0 ? file.size() + offset : offset);
    file.putChar(static_cast<char>(byte ^ 0x5a));
}

} // namespace fixture
