#pragma once

#include "core/KeychainProtocol.h"

namespace plimsy {

// The items of one secret-store service. Synchronous; safe to use from any thread.
class SimpleKeychain final : public KeychainProtocol
{
public:
    explicit SimpleKeychain(QString service);

    const QString &service() const { return m_service; }

    SecretStore::Lookup lookup(const QString &account, Kind kind) const override;
    Status store(const QString &value, const QString &account) override;
    Status remove(const QString &account, Kind kind) override;
    SecretStore::Listing listAccounts(Kind kind) const override;
    Status removeAll(Kind kind) override;

private:
    QString m_service;
};

} // namespace plimsy
