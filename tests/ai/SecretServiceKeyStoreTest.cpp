// GLib's headers use `signals` as a field name, which Qt defines as a macro: they come first.
#include <libsecret/secret.h>

#include "core/ai/KeychainStore.h"
#include "platform/desktop/SecretServiceBackend.h"

#include <QUuid>
#include <functional>
#include <gtest/gtest.h>

// These tests use the Secret Service of the private test session (tools/test-session starts an unlocked
// gnome-keyring on a bus of its own); they never see the user's keyring.

using namespace lunorvale;
using Kind = AIServiceError::Kind;

namespace {

QString uniqueAddress(const char* label) {
    return QStringLiteral("https://%1-%2.example.invalid/v1")
        .arg(QString::fromLatin1(label), QUuid::createUuid().toString(QUuid::Id128));
}

std::optional<Kind> failureOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const AIServiceError& error) {
        return error.kind();
    }
    return std::nullopt;
}

GVariant* callSecrets(const char* path, const char* interface, const char* method, GVariant* parameters,
                      const char* replyType) {
    GError* error = nullptr;
    // Kept for the whole run: a Secret Service session ends with the connection that opened it.
    static GDBusConnection* const bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    GVariant* reply = bus ? g_dbus_connection_call_sync(bus, "org.freedesktop.secrets", path, interface,
                                                        method, parameters, G_VARIANT_TYPE(replyType),
                                                        G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error)
                          : nullptr;
    if (!reply)
        ADD_FAILURE() << method << ": " << (error ? error->message : "no session bus");
    g_clear_error(&error);
    return reply;
}

// A collection of its own, created with a password so that no prompt is involved; deleted afterwards.
class ScratchCollection final {
public:
    ScratchCollection() {
        GVariant* session =
            callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "OpenSession",
                        g_variant_new("(sv)", "plain", g_variant_new_string("")), "(vo)");
        if (!session)
            return;
        const gchar* sessionPath = nullptr;
        GVariant* output = nullptr;
        g_variant_get(session, "(v&o)", &output, &sessionPath);
        GVariantBuilder properties;
        g_variant_builder_init(&properties, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&properties, "{sv}", "org.freedesktop.Secret.Collection.Label",
                              g_variant_new_string("lunorvale-test-scratch"));
        const char password[] = "scratch-password";
        GVariant* master = g_variant_new(
            "(o@ay@ays)", sessionPath, g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, "", 0, 1),
            g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, password, sizeof password - 1, 1), "text/plain");
        GVariant* created = callSecrets(
            "/org/freedesktop/secrets", "org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
            "CreateWithMasterPassword", g_variant_new("(a{sv}@(oayays))", &properties, master), "(o)");
        if (created) {
            const gchar* path = nullptr;
            g_variant_get(created, "(&o)", &path);
            m_path = QString::fromUtf8(path);
            g_variant_unref(created);
        }
        g_variant_unref(output);
        g_variant_unref(session);
    }
    ~ScratchCollection() {
        if (m_path.isEmpty())
            return;
        const QByteArray path = m_path.toUtf8();
        if (GVariant* reply =
                callSecrets(path.constData(), "org.freedesktop.Secret.Collection", "Delete", nullptr, "(o)"))
            g_variant_unref(reply);
    }
    QString path() const { return m_path; }

    void lock() const {
        const QByteArray path = m_path.toUtf8();
        const gchar* objects[] = {path.constData(), nullptr};
        if (GVariant* reply = callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service",
                                          "Lock", g_variant_new("(^ao)", objects), "(aoo)"))
            g_variant_unref(reply);
    }

private:
    QString m_path;
};

CachedKeychainStore freshStore(const QString& collection = QStringLiteral("default")) {
    return CachedKeychainStore(std::make_shared<SecretServiceBackend>(collection));
}

} // namespace

TEST(SecretServiceKeyStore, SaveLoadDeleteInTheLoginKeyring) {
    const QString first = uniqueAddress("first");
    const QString second = uniqueAddress("second");
    {
        CachedKeychainStore store = freshStore();
        EXPECT_EQ(store.status(first), AIKeyStatus::missing);
        store.save(QStringLiteral("  sk-测试-1  "), first);
        store.save(QStringLiteral("sk-测试-2"), first); // replaces, never duplicates
        store.save(QStringLiteral("key-two"), second);
    }
    {
        // A new run sees the item without reading it, then reads it silently; the addresses never mix.
        CachedKeychainStore store = freshStore();
        EXPECT_EQ(store.status(first), AIKeyStatus::saved);
        EXPECT_TRUE(store.hasSavedKey(first + QStringLiteral("/")));
        EXPECT_EQ(store.loadSilently(first), QStringLiteral("sk-测试-2"));
        EXPECT_EQ(store.status(first), AIKeyStatus::available);
        EXPECT_EQ(store.loadSilently(second), QStringLiteral("key-two"));
        store.deleteKey(first);
        EXPECT_EQ(store.status(first), AIKeyStatus::missing);
    }
    CachedKeychainStore store = freshStore();
    EXPECT_EQ(store.status(first), AIKeyStatus::missing);
    EXPECT_EQ(store.loadSilently(first), std::nullopt);
    EXPECT_EQ(store.loadSilently(second), QStringLiteral("key-two"));
    store.deleteKey(second);
    store.deleteKey(second);
}

TEST(SecretServiceKeyStore, LockedCollectionNeedsAuthorizationWithoutPrompting) {
    const ScratchCollection collection;
    ASSERT_FALSE(collection.path().isEmpty());
    const QString address = uniqueAddress("locked");
    freshStore(collection.path()).save(QStringLiteral("sk-locked"), address);
    collection.lock();

    CachedKeychainStore store = freshStore(collection.path());
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_EQ(failureOf([&] { store.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_TRUE(store.requiresAuthorization(address));

    CachedKeychainStore reader = freshStore(collection.path());
    EXPECT_EQ(failureOf([&] { reader.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_EQ(reader.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(reader.load(address));

    // A keyring that was never unlocked lists no items at all: while the collection is locked, finding
    // nothing proves nothing.
    const QString unseen = uniqueAddress("unseen");
    EXPECT_EQ(reader.status(unseen), AIKeyStatus::authorizationRequired);
    EXPECT_EQ(failureOf([&] { reader.loadSilently(uniqueAddress("unseen-read")); }),
              Kind::keychainAuthorizationRequired);

    // The private session has no display, so the desktop's unlock prompt fails at once: the user dismissed
    // it. A removal that could not look inside the locked collection is not reported as done.
    EXPECT_EQ(failureOf([&] { reader.authorize(unseen); }), Kind::keychainAuthorizationCancelled);
    EXPECT_EQ(failureOf([&] { reader.deleteKey(unseen); }), Kind::keychainAuthorizationCancelled);
}
