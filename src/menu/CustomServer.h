#pragma once

#include <QJsonObject>
#include <QMetaType>
#include <QString>
#include <QUuid>

#include <optional>

namespace plimsy {

// A machine outside Forge that the user reaches over SSH.
struct CustomServer
{
    QUuid id;
    QString name;
    QString host;
    QString user;
    std::optional<qint64> port;

    // The command as shown to the user; terminals are started with an argument list, never this text.
    QString sshCommand() const;

    // Stored lists keep any port so that nothing is lost on loading; a bad one is refused where used.
    static bool isValidPort(qint64 port) { return port >= 1 && port <= 65535; }
    static QString portRangeMessage();

    // "id" in upper-case 36-character form; "port" only when present.
    QJsonObject toJson() const;
    // No result when a key is missing or has the wrong type.
    static std::optional<CustomServer> fromJson(const QJsonObject &object);

    bool operator==(const CustomServer &) const = default;
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::CustomServer)
