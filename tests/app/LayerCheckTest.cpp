// The build's layer check (cmake/LayerCheck.cmake) run by hand over a small tree of its own, with the
// project's folder rules: a view, a model, a port, the kit, the preview, the platform and the network reply
// each include one header, in quotes or in angle brackets, and the check accepts or refuses the tree.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Libraries of the tree, their files and what each links. The view's library links everything, as a
// careless change could make it: only the folder rules stand between its files and the desktop.
struct Library {
    const char* name;
    QStringList files;
    QStringList links;
};

const QList<Library>& libraries() {
    static const QList<Library> all = {
        {"fixture_platform",
         {"platform/files/AtomicFile.h", "platform/files/FileWriteError.h", "platform/gui/FontFiles.h",
          "platform/desktop/SecretService.h", "platform/LinuxProcessPlatform.h",
          "platform/probes/lv_probes.h", "platform/network/Reply.h"},
         {}},
        {"fixture_core", {"core/Value.h"}, {"fixture_platform"}},
        {"fixture_ports", {"app/ports/Port.h"}, {"fixture_core", "fixture_platform"}},
        {"fixture_app",
         {"app/model/Model.cpp", "app/model/Model.h", "app/preview/Preview.h"},
         {"fixture_ports", "fixture_core", "fixture_platform"}},
        {"fixture_ui",
         {"ui/window/View.cpp", "ui/settings/Page.h", "ui/kit/Button.cpp", "ui/kit/Button.h"},
         {"fixture_app", "fixture_ports", "fixture_core", "fixture_platform"}},
        // A platform library that links the interface, as a careless change could make it.
        {"fixture_update", {"platform/update/Updater.cpp"}, {"fixture_ui", "fixture_app", "fixture_ports"}},
    };
    return all;
}

// Runs the check over the tree at `root`; the output with its line breaks made single blanks, or
// empty when the check passed.
std::optional<QString> check(const QDir& root) {
    QStringList records;
    for (const Library& library : libraries()) {
        QStringList files;
        for (const QString& file : library.files)
            files.append(root.filePath(file));
        records.append(QStringLiteral("%1|library|%2|%3|%4|0")
                           .arg(QString::fromLatin1(library.name), files.join(u','), library.links.join(u','),
                                root.path()));
    }
    QFile layers(root.filePath(QStringLiteral("layers.txt")));
    EXPECT_TRUE(layers.open(QIODevice::WriteOnly));
    layers.write(records.join(u'\n').toUtf8() + '\n');
    layers.close();
    QProcess cmake;
    cmake.start(QStringLiteral(LUNORVALE_CMAKE),
                {"-DLAYERS=" + layers.fileName(), "-DSTAMP=" + root.filePath(QStringLiteral("stamp")),
                 "-DSOURCE_DIR=" + root.path(), "-P",
                 QStringLiteral(LUNORVALE_SOURCE_DIR "/cmake/LayerCheck.cmake")});
    EXPECT_TRUE(cmake.waitForFinished(test::waitBoundMs));
    if (cmake.exitStatus() == QProcess::NormalExit && cmake.exitCode() == 0) {
        EXPECT_TRUE(QFile::exists(root.filePath(QStringLiteral("stamp"))));
        return std::nullopt;
    }
    return QString::fromUtf8(cmake.readAllStandardError() + cmake.readAllStandardOutput())
        .replace(QRegularExpression(QStringLiteral("\\s+")), QStringLiteral(" "));
}

} // namespace

TEST(LayerCheck, ViewsModelsPortsAndTheKitIncludeOnlyTheirLayers) {
    const struct {
        const char* file;
        const char* include; // in angle brackets where it begins with one, else in quotes
        const char* refusal; // the reason the check gives; null: accepted
    } cases[] = {
        // A view: the models, the ports and the font and icon readers; nothing else of the platform.
        {"ui/window/View.cpp", "app/model/Model.h", nullptr},
        {"ui/window/View.cpp", "app/ports/Port.h", nullptr},
        {"ui/window/View.cpp", "platform/gui/FontFiles.h", nullptr},
        {"ui/window/View.cpp", "platform/desktop/SecretService.h",
         "a view reaches the desktop through the ports"},
        {"ui/window/View.cpp", "platform/LinuxProcessPlatform.h",
         "a view reaches the desktop through the ports"},
        {"ui/window/View.cpp", "platform/files/AtomicFile.h", "a view reaches the desktop through the ports"},
        {"ui/window/View.cpp", "<platform/desktop/SecretService.h>", "a view reaches the desktop through"},
        {"ui/window/View.cpp", "app/preview/Preview.h", "only the shell chooses the preview's services"},
        // A model: the ports and the file helpers; no view and no desktop service.
        {"app/model/Model.cpp", "app/ports/Port.h", nullptr},
        {"app/model/Model.cpp", "platform/files/AtomicFile.h", nullptr},
        {"app/model/Model.cpp", "ui/kit/Button.h", "a model knows no view"},
        {"app/model/Model.cpp", "platform/desktop/SecretService.h", "a model knows no view"},
        {"app/model/Model.cpp", "platform/LinuxProcessPlatform.h", "a model knows no view"},
        {"app/model/Model.cpp", "app/preview/Preview.h", "only the shell chooses the preview's services"},
        // The preview: the models and the file helpers; not the machine's processes.
        {"app/preview/Preview.h", "app/model/Model.h", nullptr},
        {"app/preview/Preview.h", "platform/files/AtomicFile.h", nullptr},
        {"app/preview/Preview.h", "platform/probes/lv_probes.h", "a preview runs on in-memory services"},
        // The kit: nothing of the program.
        {"ui/kit/Button.cpp", "platform/gui/FontFiles.h", nullptr},
        {"ui/kit/Button.cpp", "app/model/Model.h", "the kit draws values of its own"},
        {"ui/kit/Button.cpp", "app/ports/Port.h", "the kit draws values of its own"},
        {"ui/kit/Button.cpp", "ui/kit/Button.h", nullptr},
        {"ui/kit/Button.cpp", "ui/settings/Page.h", "the kit draws values of its own"},
        // A port: the core's values, no implementation.
        {"app/ports/Port.h", "core/Value.h", nullptr},
        {"app/ports/Port.h", "platform/desktop/SecretService.h", "a port names no implementation"},
        {"app/ports/Port.h", "platform/files/FileWriteError.h", "a port names no implementation"},
        // The platform: the ports it implements, and no view even where its library links one.
        {"platform/update/Updater.cpp", "app/ports/Port.h", nullptr},
        {"platform/update/Updater.cpp", "ui/settings/Page.h", "the platform draws no view"},
        // The network reply: no service it carries bytes for.
        {"platform/network/Reply.h", "core/Value.h", "the network reply knows no service"},
        // And what the targets link: the core links no port.
        {"core/Value.h", "app/ports/Port.h", "which fixture_core does not link"},
        {"core/Value.h", "<app/ports/Port.h>", "which fixture_core does not link"},
    };
    QTemporaryDir folder;
    const QDir root(folder.path());
    for (const Library& library : libraries()) {
        for (const QString& file : library.files) {
            ASSERT_TRUE(root.mkpath(QFileInfo(root.filePath(file)).path()));
            QFile blank(root.filePath(file));
            ASSERT_TRUE(blank.open(QIODevice::WriteOnly));
        }
    }
    EXPECT_EQ(check(root), std::nullopt);
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " includes " + c.include);
        const QByteArray include(c.include);
        const bool angled = include.startsWith('<');
        QFile file(root.filePath(QString::fromLatin1(c.file)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#pragma once\n#include " + (angled ? include : '"' + include + '"') + "\n");
        file.close();
        QFile::remove(root.filePath(QStringLiteral("stamp")));
        const std::optional<QString> refused = check(root);
        if (!c.refusal) {
            EXPECT_EQ(refused, std::nullopt);
        } else if (!refused) {
            ADD_FAILURE() << "accepted"; // and on to the next case, so that every hole is named
        } else {
            EXPECT_TRUE(refused->contains(QStringLiteral("Layering broken or a silent check:")))
                << refused->toStdString();
            const QByteArray name = angled ? include.mid(1, include.size() - 2) : include;
            EXPECT_TRUE(refused->contains(QString::fromLatin1(name))) << refused->toStdString();
            EXPECT_TRUE(refused->contains(QString::fromLatin1(c.refusal))) << refused->toStdString();
        }
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)); // empty again for the next case
    }
}
