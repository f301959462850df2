#pragma once

#include "platform/SecretStore.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace plimsy {

// Generic-password items of one service. The four primitives keep "no such item" apart from "store
// unavailable"; the plain operations below fold failures into none, false or an empty list, for callers
// that cannot do better.
class KeychainProtocol
{
public:
    using Kind = SecretStore::Kind;
    using Status = SecretStore::Status;

    virtual ~KeychainProtocol() = default;

    virtual SecretStore::Lookup lookup(const QString &account, Kind kind) const = 0;
    // Writes the value in place: a failed write leaves the old value.
    virtual Status store(const QString &value, const QString &account) = 0;
    virtual Status remove(const QString &account, Kind kind) = 0;
    virtual SecretStore::Listing listAccounts(Kind kind) const = 0;
    virtual Status removeAll(Kind kind) = 0;

    std::optional<QString> get(const QString &account) const { return valueOf(lookup(account, Kind::Default)); }
    std::optional<QString> getLegacy(const QString &account) const { return valueOf(lookup(account, Kind::Legacy)); }
    bool set(const QString &value, const QString &account) { return store(value, account) == Status::Ok; }
    // "delete" is taken by the language.
    bool deleteItem(const QString &account) { return remove(account, Kind::Default) == Status::Ok; }
    bool deleteLegacy(const QString &account) { return remove(account, Kind::Legacy) == Status::Ok; }
    QStringList allAccounts() const { return listAccounts(Kind::Default).accounts; }
    QStringList allAccountsLegacy() const { return listAccounts(Kind::Legacy).accounts; }
    void deleteAll() { removeAll(Kind::Default); }
    void deleteAllLegacy() { removeAll(Kind::Legacy); }

protected:
    KeychainProtocol() = default;
    KeychainProtocol(const KeychainProtocol &) = default;
    KeychainProtocol &operator=(const KeychainProtocol &) = default;

private:
    static std::optional<QString> valueOf(const SecretStore::Lookup &found)
    {
        return found.status == Status::Ok ? std::optional<QString>(found.value) : std::nullopt;
    }
};

} // namespace plimsy
