// demo-profile: prepares the throw-away profile of `make demo`. Run inside the demo's session (its HOME,
// XDG folders and session bus) with PLIMSY_DEMO_ACCOUNTS and the fake addresses set, and with
// "-useDevBackend". It stores the demo accounts and their Forge keys as the application does, and signs
// in through the fake backend's sign-in page and the application's own callback handling.
//
// On the user's own session bus the keyring is the user's: it refuses to start (exit 3) when Plimsy's
// items are already there, and "--remove" takes away what it stored.
#include "DemoData.h"
#include "SignInPageVisitor.h"
#include "account/AuthManager.h"
#include "account/AuthResponse.h"
#include "account/KeychainTokenStore.h"
#include "account/ServiceContainer.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>
#include <variant>

namespace {

using plimsy::SecretStore;

const QStringList PlimsyServices{QString::fromLatin1(plimsy::APIKeyManager::Service),
                                 QString::fromLatin1(plimsy::KeychainTokenStore::Service)};

// Whether the keyring holds no item of Plimsy's (in either kind) and could be read.
bool keyringHasNoPlimsyItems()
{
    for (const QString &service : PlimsyServices) {
        for (const auto kind : {SecretStore::Kind::Default, SecretStore::Kind::Legacy}) {
            const SecretStore::Listing items = SecretStore::accounts(service, kind);
            if (items.status != SecretStore::Status::Ok || !items.accounts.isEmpty()) {
                return false;
            }
        }
    }
    return true;
}

// Takes away what the profile stored: nothing of Plimsy's was there before it ran.
int removeStoredItems()
{
    bool removed = true;
    for (const QString &service : PlimsyServices) {
        for (const auto kind : {SecretStore::Kind::Default, SecretStore::Kind::Legacy}) {
            removed = SecretStore::removeAll(service, kind) == SecretStore::Status::Ok && removed;
        }
    }
    if (!removed) {
        std::fputs("demo-profile: could not remove the demo's keys and sign-in from your keyring\n", stderr);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Started by the user: a locked keyring may ask to be unlocked, once.
    const SecretStore::UserAction action;
    plimsy::UserDefaults &defaults = plimsy::UserDefaults::standard();
    if (QCoreApplication::arguments().contains(QStringLiteral("--remove"))) {
        return removeStoredItems();
    }

    const auto accounts =
        plimsy::test::demoAccountsFromJson(QJsonDocument::fromJson(qgetenv("PLIMSY_DEMO_ACCOUNTS")).array());
    if (accounts.isEmpty()) {
        std::fputs("demo-profile: PLIMSY_DEMO_ACCOUNTS is not set\n", stderr);
        return 2;
    }
    if (!keyringHasNoPlimsyItems()) {
        std::fputs("demo-profile: your keyring already holds Plimsy's Forge keys or sign-in (or cannot be read); "
                   "the demo does not overwrite them\n",
                   stderr);
        return 3;
    }
    QList<plimsy::Account> stored;
    for (const auto &demo : accounts) {
        plimsy::Account account;
        account.name = demo.name;
        account.uuid = demo.uuid;
        if (!demo.hiddenServers.isEmpty()) {
            account.hiddenServers = demo.hiddenServers;
        }
        if (!demo.siteAliases.isEmpty()) {
            account.aliasSiteToURL = demo.siteAliases;
        }
        stored.append(account);
        if (!plimsy::APIKeyManager::shared().setAPIKey(demo.uuid, demo.key)) {
            std::fputs("demo-profile: the secret store refused the demo's Forge key\n", stderr);
            removeStoredItems();
            return 1;
        }
    }
    plimsy::AccountManager::saveAccounts(stored, defaults);
    defaults.setValue(QStringLiteral("hasCompletedOnboarding"), true);
    defaults.setValue(QStringLiteral("migratedKeysToMultiAccount"), true);

    plimsy::test::SignInPageVisitor visitor;
    plimsy::AuthManager auth(plimsy::ServiceContainer::shared(), visitor, defaults, {}, [] {});
    visitor.manager = &auth;
    int status = 1;
    auth.startLogin([&status](const plimsy::AuthManager::Result &result) {
        if (const auto *signedIn = std::get_if<plimsy::AuthResponse>(&result)) {
            std::printf("Signed in as %s\n", qUtf8Printable(signedIn->user.email));
            status = 0;
        } else {
            std::fputs("demo-profile: the sign-in failed\n", stderr);
            removeStoredItems();
        }
        QCoreApplication::exit(status);
    });
    return app.exec();
}
