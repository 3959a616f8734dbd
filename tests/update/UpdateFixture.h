#pragma once

#include "app/model/SoftwareUpdater.h"
#include "platform/update/StandardUpdaterController.h"
#include "support/EventLoop.h"
#include "support/LoopbackHttpServer.h"

#include <QTemporaryDir>
#include <functional>
#include <optional>

namespace lunorvale::test {

// An Ed25519 key made for one test run.
class SigningKey final {
public:
    SigningKey();
    QByteArray publicKey() const { return m_public; }
    QString sign(const QByteArray& data) const; // base64

private:
    QByteArray m_private;
    QByteArray m_public;
};

// The update window's stand-in: records what it was asked to show and lets the test choose.
struct ScriptedPrompt final : UpdatePrompt {
    std::optional<UpdateOffer> offer; // the release shown last, while a choice is pending
    QStringList messages;             // titles of the notes shown
    std::function<void(UpdateChoice)> pending;
    std::optional<UpdateChoice> answer; // chosen at once for every release shown
    int progressCalls = 0;

    void showUpdate(const UpdateOffer& shown, std::function<void(UpdateChoice)> choose) override;
    void showProgress(const AppcastItem&, qint64, qint64, std::function<void()>) override { ++progressCalls; }
    void showMessage(const QString& title, const QString&) override { messages.append(title); }
    void withdraw() override { pending = {}; }
    void choose(UpdateChoice choice);
};

// One installed program (version 1.0.0) in a temporary tree, its configuration pointing at a loopback
// feed, and the real update model over the real update layer.
struct UpdateRig {
    static inline const QByteArray oldProgram = "#!/bin/sh\necho old\n";

    QTemporaryDir root;
    LoopbackHttpServer server;
    SigningKey key;
    QString program;
    ScriptedPrompt* prompt = nullptr; // owned by the controller
    int quitRequests = 0;
    bool quitAccepted = true;
    QStringList relaunched;
    std::unique_ptr<SoftwareUpdater> updater;

    UpdateRig();
    UpdateEnvironment environment();
    // Writes the configuration beside the program; `feedPath` on the loopback server.
    void configure(const QString& feedPath = QStringLiteral("/appcast.xml"));
    // A fresh update model (a new run of the program), started.
    SoftwareUpdater& launch();
    StandardUpdaterController& controller();

    // An <item> offering `program` as `version`, signed with `key` unless a signature is given.
    QByteArray item(const QString& version, const QByteArray& program, const QString& path,
                    std::optional<QString> signature = std::nullopt,
                    std::optional<qint64> length = std::nullopt) const;
    static QByteArray feed(const QList<QByteArray>& items);
    static LoopbackHttpServer::Reply file(const QByteArray& body);
    QByteArray installedProgram() const;
};

} // namespace lunorvale::test
