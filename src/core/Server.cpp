#include "core/Server.h"

#include "core/JsonFields.h"
#include "core/LoadedRecords.h"

namespace plimsy {

using namespace json;

Server Server::fromJson(const QJsonObject &object, const QString &path)
{
    Server server;
    server.id = requiredInteger(object, QLatin1String("id"), path);
    server.name = optionalString(object, QLatin1String("name"), path);
    server.size = optionalString(object, QLatin1String("size"), path);
    server.region = optionalString(object, QLatin1String("region"), path);
    server.credentialId = optionalInteger(object, QLatin1String("credential_id"), path);
    server.ipAddress = optionalString(object, QLatin1String("ip_address"), path);
    server.privateIpAddress = optionalString(object, QLatin1String("private_ip_address"), path);
    server.phpVersion = optionalString(object, QLatin1String("php_version"), path);
    server.phpCliVersion = optionalString(object, QLatin1String("php_cli_version"), path);
    server.revoked = optionalBool(object, QLatin1String("revoked"), path).value_or(false);
    server.type = optionalString(object, QLatin1String("type"), path);
    server.ubuntuVersion = optionalString(object, QLatin1String("ubuntu_version"), path);
    server.sshPort = optionalInteger(object, QLatin1String("ssh_port"), path);
    server.provider = optionalString(object, QLatin1String("provider"), path);
    server.identifier = optionalString(object, QLatin1String("identifier"), path);
    server.opcacheStatus = optionalString(object, QLatin1String("opcache_status"), path);
    server.databaseType = optionalString(object, QLatin1String("database_type"), path);
    server.dbStatus = optionalString(object, QLatin1String("db_status"), path);
    server.redisStatus = optionalString(object, QLatin1String("redis_status"), path);
    server.connectionStatus = optionalString(object, QLatin1String("connection_status"), path);
    server.timezone = optionalString(object, QLatin1String("timezone"), path);
    server.localPublicKey = optionalString(object, QLatin1String("local_public_key"), path);
    server.isReady = optionalBool(object, QLatin1String("is_ready"), path);
    return server;
}

QJsonObject Server::toJson() const
{
    QJsonObject object{{QLatin1String("id"), id}, {QLatin1String("revoked"), revoked}};
    insertIfPresent(object, QLatin1String("name"), name);
    insertIfPresent(object, QLatin1String("size"), size);
    insertIfPresent(object, QLatin1String("region"), region);
    insertIfPresent(object, QLatin1String("type"), type);
    insertIfPresent(object, QLatin1String("provider"), provider);
    insertIfPresent(object, QLatin1String("identifier"), identifier);
    insertIfPresent(object, QLatin1String("timezone"), timezone);
    insertIfPresent(object, QLatin1String("credential_id"), credentialId);
    insertIfPresent(object, QLatin1String("ip_address"), ipAddress);
    insertIfPresent(object, QLatin1String("private_ip_address"), privateIpAddress);
    insertIfPresent(object, QLatin1String("php_version"), phpVersion);
    insertIfPresent(object, QLatin1String("php_cli_version"), phpCliVersion);
    insertIfPresent(object, QLatin1String("ubuntu_version"), ubuntuVersion);
    insertIfPresent(object, QLatin1String("ssh_port"), sshPort);
    insertIfPresent(object, QLatin1String("opcache_status"), opcacheStatus);
    insertIfPresent(object, QLatin1String("database_type"), databaseType);
    insertIfPresent(object, QLatin1String("db_status"), dbStatus);
    insertIfPresent(object, QLatin1String("redis_status"), redisStatus);
    insertIfPresent(object, QLatin1String("connection_status"), connectionStatus);
    insertIfPresent(object, QLatin1String("local_public_key"), localPublicKey);
    insertIfPresent(object, QLatin1String("is_ready"), isReady);
    return object;
}

std::optional<Server> Server::find(qint64 id)
{
    const LoadedRecords *records = LoadedRecords::current();
    return records ? find(id, records->servers()) : std::nullopt;
}

std::optional<Server> Server::find(qint64 id, const QList<Server> &servers)
{
    return firstWithId(servers, id);
}

std::optional<Site> loadedSite(qint64 id)
{
    const LoadedRecords *records = LoadedRecords::current();
    if (!records || records->isLoadingData()) {
        return std::nullopt;
    }
    return firstWithId(records->sites(), id);
}

} // namespace plimsy
