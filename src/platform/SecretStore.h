#pragma once

#include <QString>
#include <QStringList>

namespace plimsy {

// Generic-password items (service, account, UTF-8 text) in the user's Secret Service.
// Every call is synchronous and may be made from any thread; calls are serialised.
// A locked collection makes the service prompt the user to unlock it, so a call can wait on the user.
//
// "Legacy" items are those of the older store that earlier versions wrote: on this platform they are
// items that carry the extra attribute keychain=legacy. Calls on one kind never touch the other.
class SecretStore
{
public:
    enum class Kind
    {
        Default,
        Legacy,
    };

    enum class Status
    {
        Ok,
        NotFound,    // the store answered and holds no such item
        Unavailable, // no Secret Service, a refused unlock, or any other failure of the store itself
    };

    struct Lookup
    {
        Status status = Status::NotFound;
        QString value;
    };

    struct Listing
    {
        Status status = Status::Ok;
        QStringList accounts;
    };

    // Item data that is not valid UTF-8 reads as NotFound.
    static Lookup get(const QString &service, const QString &account, Kind kind = Kind::Default);

    // Replaces the value of an existing item in place, else creates the item. Ok or Unavailable.
    static Status set(const QString &service, const QString &account, const QString &value, Kind kind = Kind::Default);

    // Ok also when there was nothing to remove.
    static Status remove(const QString &service, const QString &account, Kind kind = Kind::Default);

    // The account names of the service's items, in the order the store gives them.
    static Listing accounts(const QString &service, Kind kind = Kind::Default);

    // Removes every item of the service. Ok or Unavailable.
    static Status removeAll(const QString &service, Kind kind = Kind::Default);

    SecretStore() = delete;
};

} // namespace plimsy
