#include "preferences/LegacyRelayKey.h"

#include "core/KeychainProtocol.h"
#include "core/Logger.h"

namespace plimsy::LegacyRelayKey {

namespace {

using Kind = KeychainProtocol::Kind;
using Status = KeychainProtocol::Status;

} // namespace

bool findMovingOlderItem(KeychainProtocol &keychain)
{
    const QString item = QString::fromLatin1(ItemAccount);
    const SecretStore::Lookup current = keychain.lookup(item, Kind::Default);
    if (current.status != Status::NotFound) {
        return current.status == Status::Ok;
    }
    const SecretStore::Lookup older = keychain.lookup(item, Kind::Legacy);
    if (older.status != Status::Ok) {
        return false;
    }
    const bool copied = keychain.store(older.value, item) == Status::Ok;
    const SecretStore::Lookup copy = keychain.lookup(item, Kind::Default);
    if (copied && copy.status == Status::Ok && copy.value == older.value) {
        keychain.remove(item, Kind::Legacy);
    } else {
        log(QStringLiteral("[Notifications] The legacy relay key could not be moved; the old item is kept"));
    }
    return true;
}

bool remove(KeychainProtocol &keychain)
{
    const QString item = QString::fromLatin1(ItemAccount);
    const bool currentGone = keychain.remove(item, Kind::Default) != Status::Unavailable;
    const bool olderGone = keychain.remove(item, Kind::Legacy) != Status::Unavailable;
    return currentGone && olderGone;
}

} // namespace plimsy::LegacyRelayKey
