#include "menu/CustomServer.h"

#include "platform/JsonFields.h"

namespace plimsy {

QString CustomServer::sshCommand() const
{
    if (!port) {
        return QStringLiteral("ssh %1@%2").arg(user, host);
    }
    return QStringLiteral("ssh -p %1 %2@%3").arg(QString::number(*port), user, host);
}

QString CustomServer::portRangeMessage()
{
    return QStringLiteral("The port must be a number from 1 to 65535.");
}

QJsonObject CustomServer::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces).toUpper()},
        {QStringLiteral("name"), name},
        {QStringLiteral("host"), host},
        {QStringLiteral("user"), user},
    };
    if (port) {
        object.insert(QStringLiteral("port"), *port);
    }
    return object;
}

std::optional<CustomServer> CustomServer::fromJson(const QJsonObject &object)
{
    const auto idText = JsonFields::string(object, "id");
    const auto name = JsonFields::string(object, "name");
    const auto host = JsonFields::string(object, "host");
    const auto user = JsonFields::string(object, "user");
    if (!idText || !name || !host || !user) {
        return std::nullopt;
    }
    const QUuid id = QUuid::fromString(*idText);
    if (id.isNull() || idText->size() != 36) {
        return std::nullopt;
    }
    CustomServer server{id, *name, *host, *user, std::nullopt};
    if (object.contains(QLatin1String("port"))) {
        server.port = JsonFields::integer(object, "port");
        if (!server.port) {
            return std::nullopt;
        }
    }
    return server;
}

} // namespace plimsy
