#pragma once

#include "core/KeychainProtocol.h"

#include <QMap>
#include <QPair>

namespace plimsy::test {

// Secret items in memory, for tests of code above the key and token stores: they run without a Secret
// Service and never reach anyone's keyring. The stores' own behaviour is tested on the real service.
class MemoryKeychain final : public KeychainProtocol
{
public:
    SecretStore::Lookup lookup(const QString &account, Kind kind) const override
    {
        const auto found = m_items.constFind({account, kind});
        return found == m_items.constEnd() ? SecretStore::Lookup{} : SecretStore::Lookup{Status::Ok, *found};
    }
    Status store(const QString &value, const QString &account) override
    {
        m_items.insert({account, Kind::Default}, value);
        return Status::Ok;
    }
    Status remove(const QString &account, Kind kind) override
    {
        m_items.remove({account, kind});
        return Status::Ok;
    }
    SecretStore::Listing listAccounts(Kind kind) const override
    {
        SecretStore::Listing listing;
        for (auto it = m_items.constBegin(); it != m_items.constEnd(); ++it) {
            if (it.key().second == kind) {
                listing.accounts << it.key().first;
            }
        }
        return listing;
    }
    Status removeAll(Kind kind) override
    {
        m_items.removeIf([kind](const auto &item) { return item.key().second == kind; });
        return Status::Ok;
    }

private:
    QMap<QPair<QString, Kind>, QString> m_items;
};

} // namespace plimsy::test
