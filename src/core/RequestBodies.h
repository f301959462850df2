#pragma once

#include <QJsonObject>
#include <QString>

// Bodies the Forge client sends; every field is always written under its own name.
namespace plimsy {

struct WebhookBody
{
    QString url;
    QJsonObject toJson() const { return {{QLatin1String("url"), url}}; }
};

struct SSHKeyBody
{
    QString name;
    QString key;
    QString user;
    QJsonObject toJson() const
    {
        return {{QLatin1String("name"), name}, {QLatin1String("key"), key}, {QLatin1String("user"), user}};
    }
};

struct PHPActionBody
{
    QString action;
    QString version;
    QJsonObject toJson() const { return {{QLatin1String("action"), action}, {QLatin1String("version"), version}}; }
};

struct ServerActionBody
{
    QString action;
    QJsonObject toJson() const { return {{QLatin1String("action"), action}}; }
};

struct DeploymentScriptBody
{
    QString content;
    QJsonObject toJson() const { return {{QLatin1String("content"), content}}; }
};

struct NginxUpdateBody
{
    QString config;
    QJsonObject toJson() const { return {{QLatin1String("config"), config}}; }
};

struct CommandBody
{
    QString command;
    QJsonObject toJson() const { return {{QLatin1String("command"), command}}; }
};

struct EnvUpdateBody
{
    QString environment;
    QJsonObject toJson() const { return {{QLatin1String("environment"), environment}}; }
};

} // namespace plimsy
