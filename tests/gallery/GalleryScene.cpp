#include "GalleryScene.h"

#include "account/AuthService.h"
#include "account/ServiceContainer.h"
#include "account/TokenStore.h"
#include "core/APIKeyManager.h"
#include "core/AccountManager.h"
#include "platform/SecretStore.h"
#include "platform/UserDefaults.h"

#include <QDialog>
#include <QTest>

#include <cstdio>

namespace plimsy::test {

namespace {

constexpr int ReadyLimitMs = 10'000;

// Each server and site with its account, as the demo's keys see them; revoked servers left out.
void load(TestRecords &records, const FakeForge &forge, const QList<DemoAccount> &accounts)
{
    QMap<QString, QString> accountOfOrganization;
    for (const FakeForge::Organization &organization : forge.organizations()) {
        for (const DemoAccount &account : accounts) {
            if (organization.keys.contains(account.key)) {
                accountOfOrganization.insert(organization.slug, account.uuid);
            }
        }
    }
    QMap<qint64, QString> accountOfServer;
    for (const FakeForge::Server &forgeServer : forge.servers()) {
        // A refresh leaves revoked servers out.
        if (forgeServer.attributes.value(QStringLiteral("revoked")).toBool()) {
            continue;
        }
        Server server;
        server.id = forgeServer.id;
        server.name = forgeServer.name();
        server.ipAddress = forgeServer.attributes.value(QStringLiteral("ip_address")).toString();
        server.privateIpAddress = forgeServer.attributes.value(QStringLiteral("private_ip_address")).toString();
        server.accountId = accountOfOrganization.value(forgeServer.organizationSlug);
        accountOfServer.insert(server.id, *server.accountId);
        records.serverList.append(server);
    }
    for (const FakeForge::Site &forgeSite : forge.sites()) {
        Site site;
        site.id = forgeSite.id;
        site.name = forgeSite.name();
        site.serverId = forgeSite.serverId;
        site.accountId = accountOfServer.value(forgeSite.serverId);
        records.siteList.append(site);
    }
}

} // namespace

GalleryScene::GalleryScene()
    : m_accounts(buildDemoData(m_forge))
{
    load(m_records, m_forge, m_accounts);
    LoadedRecords::setCurrent(&m_records);
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

GalleryScene::~GalleryScene()
{
    LoadedRecords::setCurrent(nullptr);
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

QDialog *GalleryScene::waitForSheet(QWidget *window, const QString &name)
{
    QDialog *sheet = nullptr;
    waitUntil([&] {
        sheet = window->findChild<QDialog *>(name);
        return sheet && sheet->isVisible();
    });
    return sheet;
}

} // namespace plimsy::test
