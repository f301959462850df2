#include "core/Account.h"

#include "core/JsonFields.h"

#include <QJsonArray>

namespace plimsy {

namespace {

std::optional<QString> textOf(const QJsonValue &value)
{
    return value.isString() ? std::optional<QString>(value.toString()) : std::nullopt;
}

std::optional<QList<qint64>> integerListOf(const QJsonValue &value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    QList<qint64> ids;
    for (const QJsonValue &element : value.toArray()) {
        const auto id = json::integerValue(element);
        if (!id) {
            return std::nullopt;
        }
        ids.append(*id);
    }
    return ids;
}

std::optional<QMap<qint64, QString>> aliasMapOf(const QJsonValue &value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    QMap<qint64, QString> aliases;
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        bool isNumber = false;
        const qint64 id = it.key().toLongLong(&isNumber);
        if (!isNumber || !it.value().isString()) {
            return std::nullopt;
        }
        aliases.insert(id, it.value().toString());
    }
    return aliases;
}

std::optional<QList<QMap<qint64, QString>>> aliasMapListOf(const QJsonValue &value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    QList<QMap<qint64, QString>> maps;
    for (const QJsonValue &element : value.toArray()) {
        const auto map = aliasMapOf(element);
        if (!map) {
            return std::nullopt;
        }
        maps.append(*map);
    }
    return maps;
}

QJsonArray integersJson(const QList<qint64> &ids)
{
    QJsonArray array;
    for (const qint64 id : ids) {
        array.append(id);
    }
    return array;
}

QJsonObject aliasMapJson(const QMap<qint64, QString> &aliases)
{
    QJsonObject object;
    for (auto it = aliases.begin(); it != aliases.end(); ++it) {
        object.insert(QString::number(it.key()), it.value());
    }
    return object;
}

void appendCreating(std::optional<QList<qint64>> &list, qint64 id)
{
    if (!list) {
        list.emplace();
    }
    list->append(id);
}

} // namespace

void Account::addIgnoredMonitoringSite(qint64 siteId)
{
    appendCreating(ignoredMonitoringSites, siteId);
}

void Account::addInternalIpServer(qint64 serverId)
{
    appendCreating(useInternalIpForServers, serverId);
}

void Account::addHiddenServer(qint64 serverId)
{
    appendCreating(hiddenServers, serverId);
}

Account Account::fromJson(const QJsonObject &object)
{
    Account account;
    account.name = textOf(object.value(QLatin1String("name")));
    account.uuid = textOf(object.value(QLatin1String("uuid")));
    account.ignoredServers = integerListOf(object.value(QLatin1String("ignoredServers")));
    account.ignoredMonitoringSites = integerListOf(object.value(QLatin1String("ignoredMonitoringSites")));
    account.aliasSiteToURL = aliasMapOf(object.value(QLatin1String("aliasSiteToURL")));
    account.aliasServerToIP = aliasMapListOf(object.value(QLatin1String("aliasServerToIP")));
    account.pathToCustomSSHKey = textOf(object.value(QLatin1String("pathToCustomSSHKey")));
    account.hiddenServers = integerListOf(object.value(QLatin1String("hiddenServers")));
    account.useInternalIpForServers = integerListOf(object.value(QLatin1String("useInternalIpForServers")));
    return account;
}

QJsonObject Account::toJson() const
{
    QJsonObject object;
    if (name) {
        object.insert(QLatin1String("name"), *name);
    }
    if (uuid) {
        object.insert(QLatin1String("uuid"), *uuid);
    }
    if (ignoredServers) {
        object.insert(QLatin1String("ignoredServers"), integersJson(*ignoredServers));
    }
    if (ignoredMonitoringSites) {
        object.insert(QLatin1String("ignoredMonitoringSites"), integersJson(*ignoredMonitoringSites));
    }
    if (aliasSiteToURL) {
        object.insert(QLatin1String("aliasSiteToURL"), aliasMapJson(*aliasSiteToURL));
    }
    if (aliasServerToIP) {
        QJsonArray maps;
        for (const auto &map : *aliasServerToIP) {
            maps.append(aliasMapJson(map));
        }
        object.insert(QLatin1String("aliasServerToIP"), maps);
    }
    if (pathToCustomSSHKey) {
        object.insert(QLatin1String("pathToCustomSSHKey"), *pathToCustomSSHKey);
    }
    if (hiddenServers) {
        object.insert(QLatin1String("hiddenServers"), integersJson(*hiddenServers));
    }
    if (useInternalIpForServers) {
        object.insert(QLatin1String("useInternalIpForServers"), integersJson(*useInternalIpForServers));
    }
    return object;
}

} // namespace plimsy
