#pragma once

#include "core/Site.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <optional>

namespace plimsy {

// One Forge server: the attributes of a server resource, plus the fields the application fills in
// after decoding (never read from or written to JSON).
struct Server
{
    qint64 id = 0; // required
    std::optional<QString> name;
    std::optional<QString> size;
    std::optional<QString> region;
    std::optional<qint64> credentialId;
    std::optional<QString> ipAddress;
    std::optional<QString> privateIpAddress;
    std::optional<QString> phpVersion;
    std::optional<QString> phpCliVersion;
    bool revoked = false; // absent or null reads as false
    std::optional<QString> type;
    std::optional<QString> ubuntuVersion;
    std::optional<qint64> sshPort;
    std::optional<QString> provider;
    std::optional<QString> identifier;
    std::optional<QString> opcacheStatus;
    std::optional<QString> databaseType;
    std::optional<QString> dbStatus;
    std::optional<QString> redisStatus;
    std::optional<QString> connectionStatus;
    std::optional<QString> timezone;
    std::optional<QString> localPublicKey;
    std::optional<bool> isReady;

    std::optional<QList<Site>> sites;
    std::optional<QString> accountId;
    std::optional<bool> isHidden;
    std::optional<bool> usePrivateIp;
    std::optional<QString> organizationSlug;

    bool operator==(const Server &) const = default;

    // Throws DecodingError. The application's fields are none afterwards.
    static Server fromJson(const QJsonObject &object, const QString &path);
    // The attributes only: "id" and "revoked" always, optional members only when present.
    QJsonObject toJson() const;

    // The first server with the id in the application's loaded list. GUI thread.
    static std::optional<Server> find(qint64 id);
    static std::optional<Server> find(qint64 id, const QList<Server> &servers);
};

// The first loaded site with the id; none while a refresh is loading. GUI thread.
std::optional<Site> loadedSite(qint64 id);

} // namespace plimsy
