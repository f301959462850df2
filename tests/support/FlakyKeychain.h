#pragma once

#include "core/SimpleKeychain.h"

namespace plimsy::test {

// The real store of one service, with switches that make it answer "unavailable" from some call on:
// the honest way to lose the store in the middle of an operation without touching the shared keyring.
class FlakyKeychain final : public KeychainProtocol
{
public:
    explicit FlakyKeychain(const QString &service)
        : m_real(service)
    {
    }

    bool readsFail = false;
    bool writesFail = false;
    int failWritesAfter = -1; // when >= 0, that many more writes succeed and later ones fail
    mutable int calls = 0;

    SecretStore::Lookup lookup(const QString &account, Kind kind) const override
    {
        ++calls;
        return readsFail ? SecretStore::Lookup{Status::Unavailable, {}} : m_real.lookup(account, kind);
    }
    Status store(const QString &value, const QString &account) override
    {
        ++calls;
        return writeFails() ? Status::Unavailable : m_real.store(value, account);
    }
    Status remove(const QString &account, Kind kind) override
    {
        ++calls;
        return writeFails() ? Status::Unavailable : m_real.remove(account, kind);
    }
    SecretStore::Listing listAccounts(Kind kind) const override
    {
        ++calls;
        return readsFail ? SecretStore::Listing{Status::Unavailable, {}} : m_real.listAccounts(kind);
    }
    Status removeAll(Kind kind) override
    {
        ++calls;
        return writeFails() ? Status::Unavailable : m_real.removeAll(kind);
    }

private:
    bool writeFails()
    {
        if (failWritesAfter >= 0 && failWritesAfter-- == 0) {
            writesFail = true;
        }
        return writesFail;
    }

    SimpleKeychain m_real;
};

} // namespace plimsy::test
