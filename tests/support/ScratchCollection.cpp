// GLib's headers use `signals` as a field name, which Qt defines as a macro: it is set aside while they
// are read, as Qt's headers may already be in.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

#include "support/ScratchCollection.h"

#include <gtest/gtest.h>

namespace lunorvale::test {

namespace {

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

} // namespace

ScratchCollection::ScratchCollection() {
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

ScratchCollection::~ScratchCollection() {
    if (m_path.isEmpty())
        return;
    const QByteArray path = m_path.toUtf8();
    if (GVariant* reply =
            callSecrets(path.constData(), "org.freedesktop.Secret.Collection", "Delete", nullptr, "(o)"))
        g_variant_unref(reply);
}

void ScratchCollection::lock() const {
    const QByteArray path = m_path.toUtf8();
    const gchar* objects[] = {path.constData(), nullptr};
    if (GVariant* reply = callSecrets("/org/freedesktop/secrets", "org.freedesktop.Secret.Service", "Lock",
                                      g_variant_new("(^ao)", objects), "(aoo)"))
        g_variant_unref(reply);
}

} // namespace lunorvale::test
