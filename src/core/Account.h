#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace plimsy {

// One Forge account as the user configured it. Every field is optional; the stored list keeps them all,
// including those no window edits yet.
struct Account
{
    std::optional<QString> name;
    std::optional<QString> uuid; // keys the account's API key in APIKeyManager
    std::optional<QList<qint64>> ignoredServers;
    std::optional<QList<qint64>> ignoredMonitoringSites;
    std::optional<QMap<qint64, QString>> aliasSiteToURL;
    std::optional<QList<QMap<qint64, QString>>> aliasServerToIP;
    std::optional<QString> pathToCustomSSHKey;
    std::optional<QList<qint64>> hiddenServers;
    std::optional<QList<qint64>> useInternalIpForServers;

    bool operator==(const Account &) const = default;

    // Two records describe the same account when their uuids are equal.
    bool isSameAccount(const Account &other) const { return uuid == other.uuid; }

    // Append without a duplicate check, creating the list first when absent.
    void addIgnoredMonitoringSite(qint64 siteId);
    void addInternalIpServer(qint64 serverId);
    void addHiddenServer(qint64 serverId);

    // Never fails: a member that is missing, null or of another shape leaves its field none.
    static Account fromJson(const QJsonObject &object);
    // Writes only the fields that hold a value.
    QJsonObject toJson() const;
};

} // namespace plimsy
