#pragma once

#include "core/ai/KeychainBackend.h"

#include <QString>

namespace lunorvale {

// API keys in the desktop's Secret Service (gnome-keyring, KWallet's bridge, KeePassXC): one item per
// service address under the schema "app.lunorvale.ai-key", the address in the item's "account" attribute.
//
// Silent reads search without unlocking: an item in a locked collection answers interactionNotAllowed and
// nothing is shown to the user. An interactive read asks the Secret Service to unlock (the desktop shows
// its prompt and the call waits for the user), then reads. Every call is synchronous and may block on
// D-Bus; see CachedKeychainStore for which calls must stay off the interface thread.
class SecretServiceBackend final : public KeychainBackend {
public:
    // New items go to `collection`: a Secret Service alias ("default" is the login keyring) or a
    // collection's D-Bus object path. Reads, updates and removals find the item wherever it is.
    explicit SecretServiceBackend(QString collection = QStringLiteral("default"));

    qint32 probe(const QString& account) override;
    ReadResult read(const QString& account, bool interactive) override;
    qint32 update(const QString& account, const QByteArray& secret) override;
    qint32 add(const QString& account, const QByteArray& secret) override;
    qint32 remove(const QString& account) override;
    QString failureReason() const override { return m_failureReason; }

private:
    QString m_collection;
    QString m_failureReason; // of the call being made or last made
};

} // namespace lunorvale
