#include "GalleryScene.h"

#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "account/TokenStore.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QTest>

#include <cstdio>

namespace plimsy::test {

namespace {

constexpr int ReadyLimitMs = 10'000;

} // namespace

GalleryScene::GalleryScene()
    : m_accounts(buildDemoData(m_forge))
{
    // Before anything reads an address.
    qputenv("PLIMSY_FORGE_API_BASE", m_forge.apiBase().toEncoded());
    qputenv("PLIMSY_API_BASE", m_backend.apiBase().toUtf8());
    qputenv("PLIMSY_WEB_BASE", m_backend.webBase().toUtf8());

    QList<Account> stored;
    for (const DemoAccount &demo : std::as_const(m_accounts)) {
        Account account;
        account.name = demo.name;
        account.uuid = demo.uuid;
        stored.append(account);
        if (!APIKeyManager::shared().setAPIKey(demo.uuid, demo.key)) {
            std::fputs("gallery: the keyring refused the demo's Forge keys\n", stderr);
        }
    }
    AccountManager::saveAccounts(stored);
    SecretStore::set(QStringLiteral("com.tindrel.plimsy.tollixapikey"),
                     QStringLiteral("PlimsyTollixAPIKey"),
                     QStringLiteral("demo-tollix-key"));
}

void GalleryScene::signIn()
{
    ServiceContainer &services = ServiceContainer::shared();
    services.tokenStore().setAccessToken(m_backend.issueToken());
    const FakeAccountBackend::SignedInUser &user = m_backend.user();
    services.authService().setCurrentUser(User{user.id, user.email, user.name});
}

void GalleryScene::signOut()
{
    ServiceContainer::shared().tokenStore().clear();
}

bool GalleryScene::waitUntil(const std::function<bool()> &ready)
{
    return QTest::qWaitFor(ready, ReadyLimitMs);
}

} // namespace plimsy::test
