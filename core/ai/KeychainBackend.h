#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace lunorvale {

// The secret-store operations the key cache needs, one item per account (the canonical service address).
// Every operation is synchronous and answers with a status code (0 for success, see KeychainStore for the
// others). Implementations never ask the user anything except in `read` with `interactive` true, and the
// writing operations, which may ask the desktop to unlock the store.
class KeychainBackend {
public:
    virtual ~KeychainBackend() = default;

    struct ReadResult {
        qint32 status = 0;
        std::optional<QByteArray> data; // present with status 0 when the secret could be had
    };

    // Whether the item exists, without reading its secret and without asking the user.
    virtual qint32 probe(const QString& account) = 0;
    // The item's secret; silent unless `interactive`.
    virtual ReadResult read(const QString& account, bool interactive) = 0;
    // Replaces the secret of an existing item; itemNotFound when there is none.
    virtual qint32 update(const QString& account, const QByteArray& secret) = 0;
    virtual qint32 add(const QString& account, const QByteArray& secret) = 0;
    virtual qint32 remove(const QString& account) = 0;
    // Why the call just made failed, as a short phrase of ours for the sentence the user reads (the store's
    // own text, English as a rule, goes to the log); empty when the status says it all, or the call
    // succeeded.
    virtual QString failureReason() const { return {}; }
};

} // namespace lunorvale
