#include "core/SimpleKeychain.h"

namespace plimsy {

SimpleKeychain::SimpleKeychain(QString service)
    : m_service(std::move(service))
{
}

SecretStore::Lookup SimpleKeychain::lookup(const QString &account, Kind kind) const
{
    return SecretStore::get(m_service, account, kind);
}

SimpleKeychain::Status SimpleKeychain::store(const QString &value, const QString &account)
{
    return SecretStore::set(m_service, account, value, Kind::Default);
}

SimpleKeychain::Status SimpleKeychain::remove(const QString &account, Kind kind)
{
    return SecretStore::remove(m_service, account, kind);
}

SecretStore::Listing SimpleKeychain::listAccounts(Kind kind) const
{
    return SecretStore::accounts(m_service, kind);
}

SimpleKeychain::Status SimpleKeychain::removeAll(Kind kind)
{
    return SecretStore::removeAll(m_service, kind);
}

} // namespace plimsy
