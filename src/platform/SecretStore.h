#pragma once

#include <QString>
#include <QStringList>

namespace plimsy {

// Generic-password items (service, account, UTF-8 text) in the user's Secret Service.
// Every call is synchronous and may be made from any thread; calls are serialised.
//
// A locked store can only be read after the user unlocks it in a prompt, and the call waits on the user.
// So a call asks at most once per action of the user's (see UserAction); every other call that meets a
// locked store answers Unavailable at once, without a prompt.
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

    // Starts reading an item on a worker thread, so that the first get() of it finds the answer there instead
    // of waiting on the store (opening the store's session takes most of a launch's keyring time). The
    // answer is handed out once; any write to the service's items first drops it unread.
    static void readAhead(const QString &service, const QString &account, Kind kind = Kind::Default);

    // Replaces the value of an existing item in place, else creates the item. Ok or Unavailable.
    static Status set(const QString &service, const QString &account, const QString &value, Kind kind = Kind::Default);

    // Ok also when there was nothing to remove.
    static Status remove(const QString &service, const QString &account, Kind kind = Kind::Default);

    // The account names of the service's items, in the order the store gives them.
    static Listing accounts(const QString &service, Kind kind = Kind::Default);

    // Removes every item of the service. Ok or Unavailable.
    static Status removeAll(const QString &service, Kind kind = Kind::Default);

    // Held for the length of something the user did (Refresh, sign-in, sign-out, opening Preferences): the
    // first call in it that meets a locked store may ask the user to unlock it, once. Outside an action
    // (timers, network changes) no call ever asks, except the very first call of the process: the launch
    // is the user's action too. Nested actions count as one.
    class UserAction
    {
    public:
        UserAction();
        ~UserAction();

    private:
        UserAction(const UserAction &) = delete;
        UserAction &operator=(const UserAction &) = delete;
    };

    SecretStore() = delete;
};

} // namespace plimsy
