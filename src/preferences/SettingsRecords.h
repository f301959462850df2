#pragma once

#include "core/Account.h"
#include "core/LoadedRecords.h"

#include <QList>
#include <QSet>
#include <QString>

#include <algorithm>
#include <functional>
#include <optional>

namespace plimsy {

class UserDefaults;

// How the settings sheets read and write the account that owns a server or site.
using FindAccount = std::function<std::optional<Account>(const QString &uuid)>;
using UpdateAccount = std::function<void(const Account &account)>;

// The stored account list of `defaults`, read afresh at each call.
FindAccount storedAccountLookup(UserDefaults &defaults);
UpdateAccount storedAccountUpdate(UserDefaults &defaults);

// The records as a settings sheet lists them: the first of each id only, ordered by name without regard
// to case (no name counts as empty, so unnamed ones come first), equal names in their given order.
template <typename Record> QList<Record> settingsListOrder(const QList<Record> &records)
{
    QList<Record> kept;
    QSet<qint64> seen;
    for (const Record &record : records) {
        if (!seen.contains(record.id)) {
            seen.insert(record.id);
            kept.append(record);
        }
    }
    std::stable_sort(kept.begin(), kept.end(), [](const Record &a, const Record &b) {
        return QString::compare(a.name.value_or(QString()), b.name.value_or(QString()), Qt::CaseInsensitive) < 0;
    });
    return kept;
}

// The first record with the id, or none.
template <typename Record> std::optional<Record> recordWithId(const QList<Record> &records, std::optional<qint64> id)
{
    return id ? firstWithId(records, *id) : std::nullopt;
}

// The stored account that owns the record, or none when the record names none or it is no longer stored.
template <typename Record>
std::optional<Account> owningAccount(const std::optional<Record> &record, const FindAccount &find)
{
    if (!record || !record->accountId) {
        return std::nullopt;
    }
    return find(*record->accountId);
}

} // namespace plimsy
