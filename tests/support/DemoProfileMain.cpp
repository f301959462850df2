// demo-profile: prepares the throw-away profile of `make demo`. Run inside the demo's session (its HOME,
// XDG folders and session bus) with PLIMSY_DEMO_ACCOUNTS and the fake addresses set, and with
// "-useDevBackend". It stores the demo accounts and their Forge keys as the application does, and signs
// in through the fake backend's sign-in page and the application's own callback handling.
#include "DemoData.h"
#include "SignInPageVisitor.h"
#include "account/AuthManager.h"
#include "account/AuthResponse.h"
#include "account/ServiceContainer.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <cstdio>
#include <variant>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    plimsy::UserDefaults &defaults = plimsy::UserDefaults::standard();

    const auto accounts =
        plimsy::test::demoAccountsFromJson(QJsonDocument::fromJson(qgetenv("PLIMSY_DEMO_ACCOUNTS")).array());
    if (accounts.isEmpty()) {
        std::fputs("demo-profile: PLIMSY_DEMO_ACCOUNTS is not set\n", stderr);
        return 2;
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
        }
        QCoreApplication::exit(status);
    });
    return app.exec();
}
