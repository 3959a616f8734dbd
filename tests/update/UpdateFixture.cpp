#include "UpdateFixture.h"

#include "platform/files/AtomicFile.h"
#include "platform/update/Appcast.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>
#include <memory>
#include <openssl/evp.h>

namespace lunorvale::test {

SigningKey::SigningKey() {
    EVP_PKEY* made = nullptr;
    const std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
        EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr), &EVP_PKEY_CTX_free);
    if (!context || EVP_PKEY_keygen_init(context.get()) != 1 || EVP_PKEY_keygen(context.get(), &made) != 1)
        throw std::runtime_error("Ed25519 key generation failed");
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(made, &EVP_PKEY_free);
    size_t length = 32;
    m_private.resize(32);
    m_public.resize(32);
    EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(m_private.data()), &length);
    EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(m_public.data()), &length);
}

QString SigningKey::sign(const QByteArray& data) const {
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                     reinterpret_cast<const unsigned char*>(m_private.constData()), 32),
        &EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    QByteArray signature(64, '\0');
    size_t length = 64;
    EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get());
    EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &length,
                   reinterpret_cast<const unsigned char*>(data.constData()),
                   static_cast<size_t>(data.size()));
    return QString::fromLatin1(signature.toBase64());
}

void ScriptedPrompt::showUpdate(const UpdateOffer& shown, std::function<void(UpdateChoice)> choose) {
    offer = shown;
    pending = std::move(choose);
    if (answer)
        this->choose(*answer);
}

void ScriptedPrompt::choose(UpdateChoice choice) {
    if (const auto reply = std::exchange(pending, {}))
        reply(choice);
}

UpdateRig::UpdateRig() {
    program = root.path() + QStringLiteral("/opt/lunorvale/lunorvale");
    AtomicFile::write(program, oldProgram, 0755);
}

UpdateEnvironment UpdateRig::environment() {
    UpdateEnvironment environment;
    environment.programPath = program;
    environment.configurationPath = UpdateConfiguration::pathBeside(program);
    environment.settings = SettingsStore(root.path() + QStringLiteral("/config/Lunorvale/defaults.json"));
    environment.downloadDirectory = root.path() + QStringLiteral("/data/Lunorvale/Updates");
    environment.packageDatabase = root.path() + QStringLiteral("/dpkg");
    environment.currentVersion = QStringLiteral("1.0.0");
    environment.now = [] {
        return QDateTime::currentDateTimeUtc();
    };
    environment.quitToInstall = [this] {
        ++quitRequests;
        return quitAccepted;
    };
    environment.relaunch = [this](const QString& path) {
        relaunched.append(path);
    };
    environment.feedDeadline = std::chrono::milliseconds(1500);
    environment.downloadDeadline = std::chrono::milliseconds(3000);
    return environment;
}

void UpdateRig::configure(const QString& feedPath) {
    const QByteArray json = "{\"feedURL\": \"" + server.baseURL(feedPath).toUtf8() +
                            "\", \"publicEDKey\": \"" + key.publicKey().toBase64() +
                            "\", \"checkInterval\": 86400}";
    AtomicFile::write(UpdateConfiguration::pathBeside(program), json);
}

SoftwareUpdater& UpdateRig::launch() {
    updater.reset();
    updater = std::make_unique<SoftwareUpdater>(
        false, [this, environment = environment()](UpdaterDelegate& delegate) {
            auto shown = std::make_unique<ScriptedPrompt>();
            prompt = shown.get();
            return std::make_unique<StandardUpdaterController>(delegate, std::move(shown), environment);
        });
    updater->start();
    return *updater;
}

StandardUpdaterController& UpdateRig::controller() {
    return *static_cast<StandardUpdaterController*>(updater->controller());
}

QByteArray UpdateRig::item(const QString& version, const QByteArray& body, const QString& path,
                           std::optional<QString> signature, std::optional<qint64> length) const {
    return "<item><title>岚栖 " + version.toUtf8() + "</title><sparkle:version>" + version.toUtf8() +
           "</sparkle:version><description>修复 &lt;b&gt;若干&lt;/b&gt; 问题</description><enclosure url=\"" +
           server.baseURL(path).toUtf8() + "\" length=\"" + QByteArray::number(length.value_or(body.size())) +
           "\" type=\"application/octet-stream\" sparkle:edSignature=\"" +
           signature.value_or(key.sign(body)).toUtf8() + "\"/></item>";
}

QByteArray UpdateRig::feed(const QList<QByteArray>& items) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<rss version=\"2.0\" xmlns:sparkle=\"" +
           QByteArray(Appcast::updateNamespace) + "\"><channel><title>岚栖</title>" + items.join('\n') +
           "</channel></rss>";
}

LoopbackHttpServer::Reply UpdateRig::file(const QByteArray& body) {
    LoopbackHttpServer::Reply reply;
    reply.body = body;
    return reply;
}

QByteArray UpdateRig::installedProgram() const {
    QFile file(program);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace lunorvale::test
