#include "UpdateFixture.h"

#include "platform/files/AtomicFile.h"
#include "platform/update/ProgramInstaller.h"
#include "platform/update/UpdateConfiguration.h"
#include "platform/update/UpdateFailureText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTcpServer>
#include <cerrno>
#include <gtest/gtest.h>

using namespace lunorvale;
using namespace lunorvale::test;

namespace {

const QByteArray newProgram = "#!/bin/sh\necho 1.2.0\n";
const QString abortText = QStringLiteral("更新未完成，请稍后重试，或从官网下载新版。本地观察仍可继续。");

} // namespace

TEST(UpdateLayer, OffersANewerSignedReleaseAndReplacesTheProgramOnQuit) {
    UpdateRig rig;
    rig.configure();
    rig.server.enqueue(UpdateRig::file(UpdateRig::feed({rig.item("0.9.0", "old", "/0.9.0"),
                                                        rig.item("1.2.0", newProgram, "/lunorvale-1.2.0"),
                                                        rig.item("1.1.0", "mid", "/1.1.0")})));
    rig.server.enqueue(UpdateRig::file(newProgram));
    SoftwareUpdater& updater = rig.launch();
    ASSERT_TRUE(updater.isStarted());
    EXPECT_TRUE(updater.canCheckForUpdates());
    EXPECT_FALSE(updater.lastCheckDate());

    updater.checkForUpdates();
    EXPECT_EQ(updater.status(), QStringLiteral("正在检查更新…"));
    EXPECT_FALSE(updater.canCheckForUpdates());
    ASSERT_TRUE(waitUntil([&] { return rig.prompt->offer.has_value(); }));
    EXPECT_EQ(updater.status(), QStringLiteral("发现新版本 1.2.0"));
    EXPECT_EQ(updater.buttonTitle(), QStringLiteral("查看 1.2.0 更新…"));
    EXPECT_TRUE(updater.lastCheckDate());
    EXPECT_EQ(rig.prompt->offer->installKind, InstallKind::selfContained);
    EXPECT_EQ(rig.prompt->offer->item.releaseNotes, QStringLiteral("修复 <b>若干</b> 问题"));

    rig.prompt->choose(UpdateChoice::install);
    ASSERT_TRUE(waitUntil([&] { return updater.readyToInstall(); }));
    EXPECT_EQ(updater.status(), QStringLiteral("新版已下载，将在退出岚栖时安装；也可现在安装并重启。"));
    EXPECT_EQ(updater.buttonTitle(), QStringLiteral("安装更新…"));
    EXPECT_EQ(rig.prompt->offer->stage, UpdateStage::downloaded);
    EXPECT_EQ(rig.installedProgram(), UpdateRig::oldProgram); // nothing replaced before the quit

    // "Later" keeps the update for the quit; the button shows the window again, where "install now" ends
    // the application: the program is replaced while it quits and started again.
    rig.prompt->choose(UpdateChoice::dismiss);
    EXPECT_TRUE(updater.readyToInstall());
    updater.checkForUpdates();
    EXPECT_EQ(updater.status(), QStringLiteral("新版已准备好，安装时会重启岚栖。"));
    rig.prompt->choose(UpdateChoice::install);
    EXPECT_EQ(rig.quitRequests, 1);
    EXPECT_EQ(rig.installedProgram(), UpdateRig::oldProgram);

    EXPECT_EQ(rig.controller().installPendingUpdate(), std::nullopt);
    EXPECT_EQ(rig.installedProgram(), newProgram);
    EXPECT_EQ(QFileInfo(rig.program).permissions() & QFile::ExeUser, QFile::ExeUser);
    EXPECT_EQ(QDir(QFileInfo(rig.program).path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("lunorvale"), QStringLiteral("lunorvale-update.json")}));
    EXPECT_EQ(rig.relaunched, QStringList{rig.program});
    // Only the configured feed is ever checked; the only other address is the release's own file.
    const auto requests = rig.server.requests();
    ASSERT_EQ(requests.size(), 2);
    EXPECT_EQ(requests[0].target, "/appcast.xml");
    EXPECT_EQ(requests[1].target, "/lunorvale-1.2.0");
}

// Every way a feed or a download can go wrong ends the session with the failure text and installs nothing.
TEST(UpdateLayer, BadFeedsAndDownloadsNeverInstall) {
    struct Case {
        const char* name;
        std::function<void(UpdateRig&)> script;
        const char* description;
    };
    const QByteArray bigFeed(10 * 1024 * 1024, ' ');
    const auto withDownload = [](std::function<QByteArray(UpdateRig&)> item,
                                 LoopbackHttpServer::Reply download) {
        return [item, download](UpdateRig& rig) {
            rig.server.enqueue(UpdateRig::file(UpdateRig::feed({item(rig)})));
            rig.server.enqueue(download);
        };
    };
    const auto redirectTo = [](const QByteArray& location) {
        LoopbackHttpServer::Reply reply;
        reply.status = 302;
        reply.headers.append({"Location", location});
        return reply;
    };
    LoopbackHttpServer::Reply longBody = UpdateRig::file(newProgram);
    longBody.announcedLength = newProgram.size() + 10;
    LoopbackHttpServer::Reply endless = UpdateRig::file(bigFeed);
    endless.streamed = true;
    LoopbackHttpServer::Reply stalled;
    stalled.stall = true;
    LoopbackHttpServer::Reply tenMegabytes = UpdateRig::file(bigFeed);
    tenMegabytes.announcedLength = bigFeed.size();

    const QList<Case> cases{
        {"signature of other bytes",
         withDownload([](UpdateRig& r) { return r.item("1.2.0", newProgram, "/f", r.key.sign("other")); },
                      UpdateRig::file(newProgram)),
         "更新文件的签名无法验证，已丢弃。"},
        {"signature of the wrong length",
         withDownload(
             [](UpdateRig& r) {
                 return r.item("1.2.0", newProgram, "/f",
                               QString::fromLatin1(QByteArray(63, 's').toBase64()));
             },
             UpdateRig::file(newProgram)),
         "更新文件的签名格式不正确，未下载。"},
        {"enclosure length shorter than the file",
         withDownload([](UpdateRig& r) { return r.item("1.2.0", newProgram, "/f", std::nullopt, 8); },
                      UpdateRig::file(newProgram)),
         "下载的文件大小与更新信息不符。"},
        {"file shorter than it announces",
         withDownload(
             [](UpdateRig& r) {
                 return r.item("1.2.0", newProgram, "/f", std::nullopt, newProgram.size() + 10);
             },
             longBody),
         "连接更新服务器超时。"},
        {"download redirected to another scheme",
         withDownload([](UpdateRig& r) { return r.item("1.2.0", newProgram, "/f"); },
                      redirectTo("https://127.0.0.1:9/f")),
         "更新服务器把请求转到了另一个地址，已拒绝。"},
        {"feed redirected", [&](UpdateRig& rig) { rig.server.enqueue(redirectTo("/elsewhere.xml")); },
         "更新服务器把请求转到了另一个地址，已拒绝。"},
        {"feed of 10 MB", [&](UpdateRig& rig) { rig.server.enqueue(tenMegabytes); },
         "更新内容超过允许的大小。"},
        {"feed that never ends", [&](UpdateRig& rig) { rig.server.enqueue(endless); },
         "更新内容超过允许的大小。"},
        {"feed that never answers", [&](UpdateRig& rig) { rig.server.enqueue(stalled); },
         "连接更新服务器超时。"},
        {"feed that is not RSS", [&](UpdateRig& rig) { rig.server.enqueue(UpdateRig::file("<html><rss>")); },
         "更新信息无法读取。"},
        {"feed server that refuses the connection",
         [&](UpdateRig& rig) {
             QTcpServer closed;
             ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
             const quint16 port = closed.serverPort();
             closed.close();
             AtomicFile::write(UpdateConfiguration::pathBeside(rig.program),
                               "{\"feedURL\": \"http://127.0.0.1:" + QByteArray::number(port) +
                                   "/appcast.xml\", \"publicEDKey\": \"" + rig.key.publicKey().toBase64() +
                                   "\"}");
         },
         "无法连接更新服务器。"},
    };
    // Qt's and the system's error texts are English phrases; every line shown is a sentence of ours.
    const QRegularExpression englishPhrase(QStringLiteral("[A-Za-z]+[ ,:]+[A-Za-z]+"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig rig;
        rig.configure();
        c.script(rig);
        SoftwareUpdater& updater = rig.launch();
        updater.checkForUpdates();
        rig.prompt->answer = UpdateChoice::install;
        ASSERT_TRUE(waitUntil([&] { return updater.status() == QStringLiteral("更新未完成"); }));
        const QStringList lines = updater.failure().value_or(QString()).split(u'\n');
        ASSERT_GE(lines.size(), 2);
        EXPECT_EQ(lines[0], abortText);
        EXPECT_EQ(lines[1], QString::fromUtf8(c.description));
        for (const QString& line : lines)
            EXPECT_FALSE(line.contains(englishPhrase)) << line.toStdString();
        EXPECT_FALSE(updater.availableVersion());
        EXPECT_FALSE(updater.readyToInstall());
        EXPECT_TRUE(updater.canCheckForUpdates());
        EXPECT_EQ(rig.prompt->messages, QStringList{QStringLiteral("更新未完成")});
        EXPECT_EQ(rig.controller().installPendingUpdate(), std::nullopt);
        EXPECT_EQ(rig.installedProgram(), UpdateRig::oldProgram);
        EXPECT_TRUE(QDir(rig.root.path() + QStringLiteral("/data/Lunorvale/Updates")).isEmpty());
    }
}

TEST(UpdateLayer, WithoutAValidConfigurationNothingStarts) {
    const QList<std::pair<const char*, QByteArray>> cases{
        {"missing", {}},
        {"not JSON", "feedURL = https://x.invalid"},
        {"plain http to another host",
         "{\"feedURL\": \"http://updates.invalid/appcast.xml\", \"publicEDKey\": \"" +
             QByteArray(32, 'k').toBase64() + "\"}"},
        {"key of 31 bytes", "{\"feedURL\": \"https://updates.invalid/appcast.xml\", \"publicEDKey\": \"" +
                                QByteArray(31, 'k').toBase64() + "\"}"},
        {"interval not a number", "{\"feedURL\": \"https://updates.invalid/a.xml\", \"publicEDKey\": \"" +
                                      QByteArray(32, 'k').toBase64() + "\", \"checkInterval\": \"daily\"}"},
    };
    for (const auto& [name, json] : cases) {
        SCOPED_TRACE(name);
        UpdateRig rig;
        if (!json.isNull())
            AtomicFile::write(UpdateConfiguration::pathBeside(rig.program), json);
        SoftwareUpdater& updater = rig.launch();
        EXPECT_TRUE(updater.failure().value_or(QString()).startsWith(
            QStringLiteral("更新服务暂时无法启动。请重新打开岚栖，或从官网下载新版。\n更新配置")))
            << updater.failure().value_or(QString()).toStdString();
        EXPECT_FALSE(updater.isStarted());
        EXPECT_FALSE(updater.canCheckForUpdates());
        const std::optional<QString> failure = updater.failure();
        updater.checkForUpdates();
        rig.controller().checkInBackground();
        EXPECT_EQ(updater.failure(), failure);
        EXPECT_EQ(updater.status(), SoftwareUpdater::initialStatus);
        EXPECT_EQ(rig.server.connectionCount(), 0);
    }
    // The interval is read within its bounds.
    const QByteArray key = QByteArray(32, 'k').toBase64();
    EXPECT_EQ(UpdateConfiguration::parse("{\"feedURL\": \"https://u.invalid/a\", \"publicEDKey\": \"" + key +
                                         "\", \"checkInterval\": 5}")
                  .checkInterval,
              UpdateConfiguration::shortestCheckInterval);
}

TEST(UpdateLayer, SkippedVersionStaysSkippedAcrossRunsUntilANewerOne) {
    UpdateRig rig;
    rig.configure();
    rig.server.setDefaultReply(UpdateRig::file(UpdateRig::feed({rig.item("1.2.0", newProgram, "/1.2.0")})));
    SoftwareUpdater& first = rig.launch();
    first.checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return rig.prompt->pending != nullptr; }));
    rig.prompt->choose(UpdateChoice::skip);
    EXPECT_EQ(first.status(), QStringLiteral("已跳过这个版本，仍可手动检查更新。"));
    EXPECT_FALSE(first.availableVersion());

    SoftwareUpdater& second = rig.launch();
    rig.controller().checkInBackground();
    ASSERT_TRUE(waitUntil([&] { return second.canCheckForUpdates(); }));
    EXPECT_EQ(second.status(), QStringLiteral("没有适用于这台电脑的新版本。"));
    EXPECT_TRUE(rig.prompt->messages.isEmpty()); // a scheduled check shows no note

    // A newer release is offered gently: no window, the arrow and banner follow `availableVersion`; with
    // automatic downloads it is fetched and verified by itself.
    rig.server.setDefaultReply(UpdateRig::file(UpdateRig::feed({rig.item("1.3.0", newProgram, "/1.3.0")})));
    rig.controller().checkInBackground();
    ASSERT_TRUE(waitUntil([&] { return second.availableVersion().has_value(); }));
    EXPECT_EQ(second.status(), QStringLiteral("发现新版本 1.3.0"));
    EXPECT_FALSE(rig.prompt->offer);
    rig.prompt->answer = UpdateChoice::dismiss;
    second.checkForUpdates(); // shows the waiting release; "later" ends the session
    EXPECT_EQ(rig.prompt->offer->item.version, QStringLiteral("1.3.0"));
    EXPECT_FALSE(second.availableVersion());

    rig.prompt->offer.reset();
    rig.controller().setAutomaticallyDownloadsUpdates(true);
    EXPECT_TRUE(second.automaticallyInstalls());
    rig.server.enqueue(UpdateRig::file(UpdateRig::feed({rig.item("1.3.0", newProgram, "/1.3.0")})));
    rig.server.enqueue(UpdateRig::file(newProgram));
    rig.controller().checkInBackground();
    ASSERT_TRUE(waitUntil([&] { return second.readyToInstall(); }));
    EXPECT_FALSE(rig.prompt->offer);
    EXPECT_EQ(rig.prompt->progressCalls, 0);

    // When the application cannot end now (a removal runs), the installation is cancelled and nothing
    // is replaced.
    rig.quitAccepted = false;
    rig.prompt->answer = UpdateChoice::install;
    second.checkForUpdates();
    EXPECT_EQ(second.status(), QStringLiteral("已取消安装，可稍后重新检查更新。"));
    EXPECT_FALSE(second.readyToInstall());
    EXPECT_EQ(rig.controller().installPendingUpdate(), std::nullopt);
    EXPECT_EQ(rig.installedProgram(), UpdateRig::oldProgram);
}

TEST(UpdateLayer, ProgramsOfThePackageManagerAreNeverReplaced) {
    UpdateRig rig;
    const QString database = rig.root.path() + QStringLiteral("/dpkg");
    const QString listed = rig.root.path() + QStringLiteral("/listed/lunorvale");
    AtomicFile::write(listed, "program", 0755);
    AtomicFile::write(database + QStringLiteral("/lunorvale.list"), "/.\n/usr\n" + listed.toUtf8() + "\n");
    AtomicFile::write(database + QStringLiteral("/other.list"), rig.program.toUtf8() + "\n");
    const QList<std::pair<QString, InstallKind>> cases{
        {QStringLiteral("/usr/bin/lunorvale"), InstallKind::packageManaged},
        {QStringLiteral("/bin/sh"), InstallKind::packageManaged},
        {listed, InstallKind::packageManaged},
        {rig.program, InstallKind::selfContained},
        {rig.root.path() + QStringLiteral("/missing"), InstallKind::notWritable},
    };
    for (const auto& [path, kind] : cases)
        EXPECT_EQ(ProgramInstaller::classify(path, database), kind) << path.toStdString();

    // Such an offer is shown, but choosing to install downloads and replaces nothing.
    rig.program = listed;
    rig.configure();
    rig.server.enqueue(UpdateRig::file(UpdateRig::feed({rig.item("1.2.0", newProgram, "/new")})));
    SoftwareUpdater& updater = rig.launch();
    updater.checkForUpdates();
    ASSERT_TRUE(waitUntil([&] { return rig.prompt->pending != nullptr; }));
    EXPECT_EQ(rig.prompt->offer->installKind, InstallKind::packageManaged);
    rig.prompt->choose(UpdateChoice::install);
    EXPECT_FALSE(updater.readyToInstall());
    EXPECT_EQ(rig.server.requests().size(), 1);
    EXPECT_EQ(rig.installedProgram(), QByteArray("program"));
}

// Every kind of network, file and feed failure reads as a sentence of ours.
TEST(UpdateFailureText, EveryFailureIsASentenceOfOurs) {
    using E = QNetworkReply::NetworkError;
    QStringList sentences;
    for (const E error : {E::ConnectionRefusedError,
                          E::RemoteHostClosedError,
                          E::HostNotFoundError,
                          E::TimeoutError,
                          E::OperationCanceledError,
                          E::SslHandshakeFailedError,
                          E::TemporaryNetworkFailureError,
                          E::NetworkSessionFailedError,
                          E::BackgroundRequestNotAllowedError,
                          E::TooManyRedirectsError,
                          E::InsecureRedirectError,
                          E::UnknownNetworkError,
                          E::ProxyConnectionRefusedError,
                          E::ProxyConnectionClosedError,
                          E::ProxyNotFoundError,
                          E::ProxyTimeoutError,
                          E::ProxyAuthenticationRequiredError,
                          E::UnknownProxyError,
                          E::ContentAccessDenied,
                          E::ContentOperationNotPermittedError,
                          E::ContentNotFoundError,
                          E::AuthenticationRequiredError,
                          E::ContentReSendError,
                          E::ContentConflictError,
                          E::ContentGoneError,
                          E::UnknownContentError,
                          E::ProtocolUnknownError,
                          E::ProtocolInvalidOperationError,
                          E::ProtocolFailure,
                          E::InternalServerError,
                          E::OperationNotImplementedError,
                          E::ServiceUnavailableError,
                          E::UnknownServerError})
        sentences << UpdateFailureText::network(error);
    for (const QFileDevice::FileError error :
         {QFileDevice::ReadError, QFileDevice::WriteError, QFileDevice::FatalError,
          QFileDevice::ResourceError, QFileDevice::OpenError, QFileDevice::AbortError,
          QFileDevice::TimeOutError, QFileDevice::UnspecifiedError, QFileDevice::RemoveError,
          QFileDevice::RenameError, QFileDevice::PositionError, QFileDevice::ResizeError,
          QFileDevice::PermissionsError, QFileDevice::CopyError})
        sentences << UpdateFailureText::file(error);
    for (const int error : {ENOSPC, EDQUOT, EACCES, EPERM, EROFS, ENOENT, ENOTDIR, EIO, EBUSY})
        sentences << UpdateFailureText::system(error);
    for (const QXmlStreamReader::Error error :
         {QXmlStreamReader::CustomError, QXmlStreamReader::NotWellFormedError,
          QXmlStreamReader::PrematureEndOfDocumentError, QXmlStreamReader::UnexpectedElementError})
        sentences << UpdateFailureText::feed(error);
    const QRegularExpression latin(QStringLiteral("[A-Za-z]"));
    for (const QString& sentence : sentences) {
        EXPECT_TRUE(sentence.endsWith(QStringLiteral("。"))) << sentence.toStdString();
        EXPECT_FALSE(sentence.contains(latin)) << sentence.toStdString();
    }
    // A failed secure connection is told apart from the others.
    EXPECT_EQ(sentences.count(UpdateFailureText::network(E::SslHandshakeFailedError)), 1);
}
