// GLib's headers use `signals` as a field name, which Qt defines as a macro: it is set aside while they
// are read, as Qt's headers may already be in.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

#include "AIFailure.h"
#include "app/advice/AutomaticProcessAdvice.h"
#include "core/ai/KeychainStore.h"
#include "platform/desktop/SecretServiceBackend.h"
#include "support/AbsentSecretService.h"
#include "support/EventLoop.h"
#include "support/ScratchCollection.h"
#include "support/Thrown.h"

#include <QRegularExpression>
#include <QUuid>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>

// These tests use the Secret Service of the private test session (tools/test-session starts an unlocked
// gnome-keyring on a bus of its own); they never see the user's keyring.

using namespace lunorvale;
using Kind = AIServiceError::Kind;

namespace {

QString uniqueAddress(const char* label) {
    return QStringLiteral("https://%1-%2.example.invalid/v1")
        .arg(QString::fromLatin1(label), QUuid::createUuid().toString(QUuid::Id128));
}

std::optional<Kind> kindThrownBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const AIServiceError& error) {
        return error.kind();
    }
    return std::nullopt;
}

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
    const test::ScratchCollection collection;
    ASSERT_FALSE(collection.path().isEmpty());
    const QString address = uniqueAddress("locked");
    freshStore(collection.path()).save(QStringLiteral("sk-locked"), address);
    collection.lock();

    CachedKeychainStore store = freshStore(collection.path());
    EXPECT_EQ(store.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_EQ(kindThrownBy([&] { store.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_TRUE(store.requiresAuthorization(address));

    CachedKeychainStore reader = freshStore(collection.path());
    EXPECT_EQ(kindThrownBy([&] { reader.loadSilently(address); }), Kind::keychainAuthorizationRequired);
    EXPECT_EQ(reader.status(address), AIKeyStatus::authorizationRequired);
    EXPECT_FALSE(reader.load(address));

    // A keyring that was never unlocked lists no items at all: while the collection is locked, finding
    // nothing proves nothing.
    const QString unseen = uniqueAddress("unseen");
    EXPECT_EQ(reader.status(unseen), AIKeyStatus::authorizationRequired);
    EXPECT_EQ(kindThrownBy([&] { reader.loadSilently(uniqueAddress("unseen-read")); }),
              Kind::keychainAuthorizationRequired);

    // The private session has no display, so the desktop's unlock prompt fails at once: the user dismissed
    // it. A removal that could not look inside the locked collection is not reported as done.
    EXPECT_EQ(kindThrownBy([&] { reader.authorize(unseen); }), Kind::keychainAuthorizationCancelled);
    EXPECT_EQ(kindThrownBy([&] { reader.deleteKey(unseen); }), Kind::keychainAuthorizationCancelled);
}

// Where the Secret Service refuses, the user reads why, in our words: not D-Bus's error name, the service's
// English or a status code.
TEST(SecretServiceKeyStore, ARefusalShowsTheServicesOwnReason) {
    const QString missing = QStringLiteral("/org/freedesktop/secrets/collection/lunorvale_missing");
    CachedKeychainStore store = freshStore(missing);
    const std::optional<AIServiceError> error =
        test::thrownBy<AIServiceError>([&] { store.save(QStringLiteral("sk"), uniqueAddress("refused")); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::keychain);
    EXPECT_FALSE(error->reason().isEmpty());
    EXPECT_TRUE(error->errorDescription().contains(u'（' + error->reason() + u'）'));
    EXPECT_FALSE(error->errorDescription().contains(QString::number(error->payload())));
}

// With no keyring on the bus at all, asking again later does not help: the sentence says one is missing,
// which is all the reason there is.
TEST(SecretServiceKeyStore, NoKeyringOnTheBusIsSaidSo) {
    const test::AbsentSecretService noKeyring;
    const QString address = uniqueAddress("absent");
    CachedKeychainStore store = freshStore();
    EXPECT_EQ(store.status(address), AIKeyStatus::noKeyring);
    for (const std::function<void()>& call :
         std::initializer_list<std::function<void()>>{[&] { store.loadSilently(address); },
                                                      [&] {
                                                          store.save(QStringLiteral("sk"), address);
                                                      }}) {
        const std::optional<AIServiceError> error = test::thrownBy<AIServiceError>(call);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), Kind::keychain);
        EXPECT_EQ(error->payload(), KeychainStore::Status::notAvailable);
        EXPECT_EQ(error->reason(), QString());
        EXPECT_TRUE(error->errorDescription().startsWith(QStringLiteral("没有找到系统密钥环。")))
            << error->errorDescription().toStdString();
    }
    EXPECT_EQ(store.status(address), AIKeyStatus::noKeyring);
}

// What the bus, the keyring or a library says of a failure is English and goes to the log; the sentence the
// user reads is ours, with no Latin letter but in the names of programs.
TEST(FailureSentences, TheSystemsOwnTextNeverReachesTheUser) {
    ProcessSample busy;
    busy.identity = {4242, 1000};
    AutomaticProcessAdvice advice({}, {}, {},
                                  [](auto&&...) { throw std::runtime_error("Connection reset"); });
    // A save that throws nothing has no sentence, which fails the row below.
    const auto sentenceOf = [](const std::optional<AIServiceError>& failure) {
        EXPECT_TRUE(failure) << "the save went through";
        return failure ? failure->errorDescription() : QString();
    };
    const std::function<QString()> rows[] = {
        [&] {
            const test::AbsentSecretService noKeyring;
            return sentenceOf(test::failureOf([] { freshStore().save("sk", uniqueAddress("absent")); }));
        },
        [&] {
            CachedKeychainStore store = freshStore("/org/freedesktop/secrets/collection/none");
            return sentenceOf(test::failureOf([&] { store.save("sk", uniqueAddress("refused")); }));
        },
        [&] {
            advice.refresh({Finding{busy, 120, {}, {}}}, AIConfiguration{"http://127.0.0.1:9/v1", "m"});
            EXPECT_TRUE(test::deliverDue());
            return advice.entries().value(busy.identity).failure.value_or(QString());
        },
    };
    for (const auto& row : rows) {
        QString sentence = row();
        EXPECT_FALSE(sentence.isEmpty() || sentence.remove(QRegularExpression("gnome-keyring|KWallet|AI"))
                                               .contains(QRegularExpression("[A-Za-z]")))
            << sentence.toStdString();
    }
}
