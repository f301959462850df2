#pragma once

#include "account/APIClient.h"
#include "account/KeychainTokenStore.h"
#include "account/ServiceContainer.h"
#include "core/KeychainProtocol.h"
#include "platform/HttpSession.h"
#include "platform/UserDefaults.h"

#include <QMap>

#include <memory>

namespace plimsy::bench {

// The benchmark measures the menu, not the Secret Service: the key lives in memory.
class MemoryKeychain final : public KeychainProtocol
{
public:
    SecretStore::Lookup lookup(const QString &account, Kind) const override
    {
        return m_items.contains(account) ? SecretStore::Lookup{Status::Ok, m_items.value(account)}
                                         : SecretStore::Lookup{};
    }
    Status store(const QString &value, const QString &account) override
    {
        m_items.insert(account, value);
        return Status::Ok;
    }
    Status remove(const QString &account, Kind) override
    {
        return m_items.remove(account) ? Status::Ok : Status::NotFound;
    }
    SecretStore::Listing listAccounts(Kind) const override { return {Status::Ok, m_items.keys()}; }
    Status removeAll(Kind) override
    {
        m_items.clear();
        return Status::Ok;
    }

private:
    QMap<QString, QString> m_items;
};

// A signed-in account service whose token lives in memory; the backend is never called.
struct SignedInServices
{
    explicit SignedInServices(UserDefaults &defaults)
        : container(client, std::make_shared<KeychainTokenStore>(std::make_unique<MemoryKeychain>()), defaults)
    {
        container.tokenStore().setAccessToken(QStringLiteral("bench-token"));
    }

    HttpSession session;
    APIClient client{session, [] { return QStringLiteral("http://127.0.0.1:9/v1"); }};
    ServiceContainer container;
};

} // namespace plimsy::bench
