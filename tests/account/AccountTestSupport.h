#pragma once

#include "FakeAccountBackend.h"
#include "MemoryTokenStore.h"
#include "account/APIClient.h"
#include "account/KeychainTokenStore.h"
#include "account/TokenStore.h"
#include "core/NotificationNames.h"
#include "core/SimpleKeychain.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <optional>

namespace plimsy::test {

// Counts the posts of "authStateChanged" on the default centre while it lives.
class AuthStateSpy
{
public:
    AuthStateSpy()
    {
        NotificationCenter::defaultCenter().addObserver(
            NotificationNames::authStateChanged, &m_context, [this](const Notification &) { ++count; });
    }

    int count = 0;

private:
    QObject m_context;
};

// A secret-store service of the test's own, removed with the object.
struct TestKeychainService
{
    const QString name =
        QStringLiteral("com.tindrel.plimsy.auth.test.") + QUuid::createUuid().toString(QUuid::WithoutBraces);

    ~TestKeychainService()
    {
        SecretStore::removeAll(name, SecretStore::Kind::Default);
        SecretStore::removeAll(name, SecretStore::Kind::Legacy);
    }
};

// The real store of one service whose next lookups answer "unavailable", as a store that is still
// starting or refuses to unlock does.
class FlakyLookupKeychain final : public KeychainProtocol
{
public:
    explicit FlakyLookupKeychain(const QString &service)
        : m_real(service)
    {
    }

    mutable int failingLookups = 0; // the next this many lookups fail
    int failingStores = 0;          // the next this many stores fail
    mutable int lookups = 0;
    int writes = 0;

    SecretStore::Lookup lookup(const QString &account, Kind kind) const override
    {
        ++lookups;
        if (failingLookups > 0) {
            --failingLookups;
            return {Status::Unavailable, {}};
        }
        return m_real.lookup(account, kind);
    }
    Status store(const QString &value, const QString &account) override
    {
        ++writes;
        if (failingStores > 0) {
            --failingStores;
            return Status::Unavailable;
        }
        return m_real.store(value, account);
    }
    Status remove(const QString &account, Kind kind) override
    {
        ++writes;
        return m_real.remove(account, kind);
    }
    SecretStore::Listing listAccounts(Kind kind) const override { return m_real.listAccounts(kind); }
    Status removeAll(Kind kind) override
    {
        ++writes;
        return m_real.removeAll(kind);
    }

private:
    SimpleKeychain m_real;
};

// A backend, a client on it, a secret-store service and a defaults file, all of the test's own.
class AccountBackendTest : public ::testing::Test
{
protected:
    FakeAccountBackend backend;
    HttpSession session;
    APIClient client{session, [this] { return backend.apiBase(); }};
    TestKeychainService keychain;
    QTemporaryDir folder;
    UserDefaults defaults{QDir(folder.path()).filePath("Plimsy.conf")};

    // A store on the test's service, as a fresh launch would open it.
    std::shared_ptr<KeychainTokenStore> makeStore() const
    {
        return std::make_shared<KeychainTokenStore>(std::make_unique<SimpleKeychain>(keychain.name));
    }
};

// The error of type E the operation throws; a test failure when it throws none.
template <typename E, typename F> E errorOf(F &&operation, E none)
{
    try {
        operation();
    } catch (const E &error) {
        return error;
    }
    ADD_FAILURE() << "no error thrown";
    return none;
}

} // namespace plimsy::test
