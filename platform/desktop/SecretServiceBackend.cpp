// GLib's headers use `signals` as a field name, which Qt defines as a macro: it is set aside while they
// are read, as Qt's headers may already be in (a precompiled header, an earlier file of a unity batch).
// The D-Bus path calls (aliases, unlocking a collection by path) are in libsecret's "unstable" part,
// unchanged since 0.16.
#define SECRET_API_SUBJECT_TO_CHANGE
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "platform/desktop/SecretServiceBackend.h"

#include "core/ai/KeychainStore.h"

#include <memory>

namespace lunorvale {

namespace {

namespace Status = KeychainStore::Status;

const SecretSchema* schema() {
    static const SecretSchema value = [] {
        SecretSchema s{};
        s.name = KeychainStore::serviceName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &value;
}

struct GErrorFree {
    void operator()(GError* e) const { g_error_free(e); }
};
struct ObjectUnref {
    void operator()(gpointer o) const { g_object_unref(o); }
};
struct HashUnref {
    void operator()(GHashTable* t) const { g_hash_table_unref(t); }
};
struct ValueUnref {
    void operator()(SecretValue* v) const { secret_value_unref(v); }
};
struct ItemList {
    GList* items = nullptr;
    ~ItemList() { g_list_free_full(items, g_object_unref); }
    SecretItem* first() const { return items ? SECRET_ITEM(items->data) : nullptr; }
};
using ErrorPtr = std::unique_ptr<GError, GErrorFree>;

// Why a call failed, in our words for the sentence the user reads: the service's and the bus's own texts
// are English and name their internals ("The name org.freedesktop.secrets was not provided by any
// .service files"), so they go to the log only.
QString reasonFor(const GError* error) {
    if (error->domain == SECRET_ERROR && error->code == SECRET_ERROR_PROTOCOL)
        return QStringLiteral("密钥环的回答无法识别");
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
        case G_IO_ERROR_TIMED_OUT:
            return QStringLiteral("密钥环没有及时响应");
        case G_IO_ERROR_PERMISSION_DENIED:
            return QStringLiteral("密钥环拒绝了访问");
        default:
            // Connecting to the session bus is the one call of this kind that reports plain I/O errors.
            return QStringLiteral("无法连接会话总线");
        }
    }
    if (error->domain != G_DBUS_ERROR)
        return QStringLiteral("密钥环报告了错误");
    switch (error->code) {
    case G_DBUS_ERROR_NO_REPLY:
    case G_DBUS_ERROR_TIMEOUT:
    case G_DBUS_ERROR_TIMED_OUT:
        return QStringLiteral("密钥环没有及时响应");
    case G_DBUS_ERROR_ACCESS_DENIED:
    case G_DBUS_ERROR_AUTH_FAILED:
        return QStringLiteral("密钥环拒绝了访问");
    case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
    case G_DBUS_ERROR_SPAWN_FORK_FAILED:
    case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
    case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
    case G_DBUS_ERROR_SPAWN_FAILED:
    case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
    case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
    case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
    case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
    case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
    case G_DBUS_ERROR_SPAWN_FILE_INVALID:
    case G_DBUS_ERROR_SPAWN_NO_MEMORY:
        return QStringLiteral("密钥环服务未能启动");
    // gnome-keyring answers a call on a collection that does not exist with UnknownMethod.
    case G_DBUS_ERROR_UNKNOWN_OBJECT:
    case G_DBUS_ERROR_UNKNOWN_METHOD:
        return QStringLiteral("找不到要使用的密钥环");
    case G_DBUS_ERROR_UNKNOWN_INTERFACE:
    case G_DBUS_ERROR_UNKNOWN_PROPERTY:
    case G_DBUS_ERROR_NOT_SUPPORTED:
        return QStringLiteral("提供密钥环的程序不支持所需的操作");
    case G_DBUS_ERROR_DISCONNECTED:
    case G_DBUS_ERROR_NO_SERVER:
    case G_DBUS_ERROR_BAD_ADDRESS:
    case G_DBUS_ERROR_NO_NETWORK:
        return QStringLiteral("无法连接会话总线");
    default:
        return QStringLiteral("密钥环报告了错误");
    }
}

// The status of a failed call; `reason` takes what the user is told of it (nothing where the status
// says it all).
qint32 statusFor(const GError* error, QString& reason) {
    if (!error)
        return Status::internalFailure;
    if (error->domain == SECRET_ERROR) {
        if (error->code == SECRET_ERROR_IS_LOCKED)
            return Status::interactionNotAllowed;
        if (error->code == SECRET_ERROR_NO_SUCH_OBJECT)
            return Status::itemNotFound;
    }
    if (error->domain == G_IO_ERROR && error->code == G_IO_ERROR_CANCELLED)
        return Status::userCancelled;
    qWarning("Secret Service call failed (%s %d): %s", g_quark_to_string(error->domain), error->code,
             error->message);
    // Nothing on the bus provides the Secret Service (no keyring is installed, or none may be started):
    // waiting will not help, a keyring must be added.
    if (error->domain == G_DBUS_ERROR &&
        (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        return Status::notAvailable;
    // No session bus, or a keyring that failed to start or to answer.
    reason = reasonFor(error);
    return Status::internalFailure;
}

std::unique_ptr<GHashTable, HashUnref> attributesFor(const QString& account) {
    GHashTable* table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free);
    g_hash_table_insert(table, g_strdup("account"), g_strdup(account.toUtf8().constData()));
    return std::unique_ptr<GHashTable, HashUnref>(table);
}

// libsecret keeps one service connection per process and hands out references to it.
std::unique_ptr<SecretService, ObjectUnref> connectService(qint32& status, QString& reason) {
    GError* raw = nullptr;
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &raw);
    const ErrorPtr error(raw);
    status = service ? Status::success : statusFor(error.get(), reason);
    return std::unique_ptr<SecretService, ObjectUnref>(service);
}

qint32 search(SecretService* service, const QString& account, SecretSearchFlags flags, ItemList& found,
              QString& reason) {
    GError* raw = nullptr;
    found.items =
        secret_service_search_sync(service, schema(), attributesFor(account).get(), flags, nullptr, &raw);
    const ErrorPtr error(raw);
    if (error)
        return statusFor(error.get(), reason);
    return found.items ? Status::success : Status::itemNotFound;
}

// The collection's Locked property, asked straight over D-Bus for its current state.
bool isCollectionLocked(SecretService* service, const char* collectionPath) {
    GError* raw = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        g_dbus_proxy_get_connection(G_DBUS_PROXY(service)), g_dbus_proxy_get_name(G_DBUS_PROXY(service)),
        collectionPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", "org.freedesktop.Secret.Collection", "Locked"), G_VARIANT_TYPE("(v)"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, &raw);
    const ErrorPtr error(raw);
    if (!reply)
        return false;
    GVariant* boxed = nullptr;
    g_variant_get(reply, "(v)", &boxed);
    const bool locked = g_variant_is_of_type(boxed, G_VARIANT_TYPE_BOOLEAN) && g_variant_get_boolean(boxed);
    g_variant_unref(boxed);
    g_variant_unref(reply);
    return locked;
}

// The item's own flag follows its collection in gnome-keyring, but other services may only flag the
// collection, so both are asked.
bool isLocked(SecretService* service, SecretItem* item) {
    if (secret_item_get_locked(item))
        return true;
    const QByteArray itemPath(g_dbus_proxy_get_object_path(G_DBUS_PROXY(item)));
    const qsizetype slash = itemPath.lastIndexOf('/');
    return slash > 0 && isCollectionLocked(service, itemPath.left(slash).constData());
}

// The object path of the collection new items go to (given as an alias such as "default", or as a path);
// empty when there is no such collection.
QByteArray targetCollectionPath(SecretService* service, const QString& collection) {
    if (collection.startsWith(QLatin1Char('/')))
        return collection.toUtf8();
    GError* raw = nullptr;
    gchar* path =
        secret_service_read_alias_dbus_path_sync(service, collection.toUtf8().constData(), nullptr, &raw);
    const ErrorPtr error(raw);
    const QByteArray result(path && qstrcmp(path, "/") != 0 ? path : "");
    g_free(path);
    return result;
}

// gnome-keyring lists no items at all of a keyring that was never unlocked in this session, so "no item"
// is believed only while the collection new items go to is open; otherwise the answer needs the user.
qint32 absentOrLocked(SecretService* service, const QString& collection) {
    const QByteArray path = targetCollectionPath(service, collection);
    return !path.isEmpty() && isCollectionLocked(service, path.constData()) ? Status::interactionNotAllowed
                                                                            : Status::itemNotFound;
}

// Asks the desktop to unlock the collection new items go to (it shows its prompt and waits for the user).
qint32 unlockTarget(SecretService* service, const QString& collection, QString& reason) {
    const QByteArray path = targetCollectionPath(service, collection);
    if (path.isEmpty())
        return Status::itemNotFound;
    const gchar* paths[] = {path.constData(), nullptr};
    GError* raw = nullptr;
    const gint unlocked = secret_service_unlock_dbus_paths_sync(service, paths, nullptr, nullptr, &raw);
    const ErrorPtr error(raw);
    if (error)
        return statusFor(error.get(), reason);
    return unlocked > 0 ? Status::success : Status::userCancelled;
}

std::unique_ptr<SecretValue, ValueUnref> valueFor(const QByteArray& secret) {
    return std::unique_ptr<SecretValue, ValueUnref>(
        secret_value_new(secret.constData(), secret.size(), "text/plain"));
}

} // namespace

SecretServiceBackend::SecretServiceBackend(QString collection) : m_collection(std::move(collection)) {}

qint32 SecretServiceBackend::probe(const QString& account) {
    m_failureReason.clear();
    qint32 status = Status::success;
    const auto service = connectService(status, m_failureReason);
    if (!service)
        return status;
    ItemList found;
    status = search(service.get(), account, SECRET_SEARCH_NONE, found, m_failureReason);
    if (status == Status::itemNotFound)
        return absentOrLocked(service.get(), m_collection);
    if (status != Status::success)
        return status;
    // Like the secret, a locked item's existence is only confirmed once the user allows it.
    return isLocked(service.get(), found.first()) ? Status::interactionNotAllowed : Status::success;
}

KeychainBackend::ReadResult SecretServiceBackend::read(const QString& account, bool interactive) {
    m_failureReason.clear();
    qint32 status = Status::success;
    const auto service = connectService(status, m_failureReason);
    if (!service)
        return {status, std::nullopt};
    ItemList found;
    const int flags = SECRET_SEARCH_LOAD_SECRETS | (interactive ? SECRET_SEARCH_UNLOCK : 0);
    status = search(service.get(), account, static_cast<SecretSearchFlags>(flags), found, m_failureReason);
    if (status == Status::itemNotFound) {
        status = absentOrLocked(service.get(), m_collection);
        if (status == Status::interactionNotAllowed && interactive) {
            // The item may be in the locked collection, unseen until it is open.
            status = unlockTarget(service.get(), m_collection, m_failureReason);
            if (status == Status::success)
                status = search(service.get(), account, static_cast<SecretSearchFlags>(flags), found,
                                m_failureReason);
        }
    }
    if (status != Status::success)
        return {status, std::nullopt};
    SecretItem* item = found.first();
    if (isLocked(service.get(), item)) {
        // After an unlock request, a collection that is still locked means the user dismissed the prompt.
        return {interactive ? Status::userCancelled : Status::interactionNotAllowed, std::nullopt};
    }
    const std::unique_ptr<SecretValue, ValueUnref> value(secret_item_get_secret(item));
    if (!value)
        return {interactive ? Status::userCancelled : Status::interactionNotAllowed, std::nullopt};
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return {Status::success, QByteArray(bytes, static_cast<qsizetype>(length))};
}

qint32 SecretServiceBackend::update(const QString& account, const QByteArray& secret) {
    m_failureReason.clear();
    qint32 status = Status::success;
    const auto service = connectService(status, m_failureReason);
    if (!service)
        return status;
    ItemList found;
    status = search(service.get(), account, SECRET_SEARCH_UNLOCK, found, m_failureReason);
    if (status != Status::success)
        return status;
    GError* raw = nullptr;
    const bool written = secret_item_set_secret_sync(found.first(), valueFor(secret).get(), nullptr, &raw);
    const ErrorPtr error(raw);
    return written ? Status::success : statusFor(error.get(), m_failureReason);
}

qint32 SecretServiceBackend::add(const QString& account, const QByteArray& secret) {
    m_failureReason.clear();
    qint32 status = Status::success;
    const auto service = connectService(status, m_failureReason);
    if (!service)
        return status;
    const QByteArray label = QStringLiteral("岚栖 AI 服务密钥（%1）").arg(account).toUtf8();
    const QByteArray collection = m_collection.toUtf8();
    GError* raw = nullptr;
    const bool stored = secret_service_store_sync(service.get(), schema(), attributesFor(account).get(),
                                                  collection.constData(), label.constData(),
                                                  valueFor(secret).get(), nullptr, &raw);
    const ErrorPtr error(raw);
    return stored ? Status::success : statusFor(error.get(), m_failureReason);
}

qint32 SecretServiceBackend::remove(const QString& account) {
    m_failureReason.clear();
    qint32 status = Status::success;
    const auto service = connectService(status, m_failureReason);
    if (!service)
        return status;
    const auto clear = [&] {
        GError* raw = nullptr;
        const bool removed =
            secret_service_clear_sync(service.get(), schema(), attributesFor(account).get(), nullptr, &raw);
        const ErrorPtr error(raw);
        if (error)
            return statusFor(error.get(), m_failureReason);
        return removed ? Status::success : Status::itemNotFound;
    };
    status = clear();
    // An item hidden in a locked collection would survive a removal reported as done.
    if (status == Status::itemNotFound &&
        absentOrLocked(service.get(), m_collection) != Status::itemNotFound) {
        status = unlockTarget(service.get(), m_collection, m_failureReason);
        if (status == Status::success)
            status = clear();
    }
    return status;
}

} // namespace lunorvale
