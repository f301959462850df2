#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

// Attribute records of Forge resources other than servers, sites and organisations.
namespace plimsy {

// The text of a file or log held by Forge.
struct ContentAttributes
{
    QString content;

    bool operator==(const ContentAttributes &) const = default;
    static ContentAttributes fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

// Keys are read in camel case exactly; the times stay text.
struct DeploymentAttributes
{
    std::optional<QString> status;
    std::optional<QString> commitHash;
    std::optional<QString> commitAuthor;
    std::optional<QString> commitMessage;
    std::optional<QString> startedAt;
    std::optional<QString> endedAt;

    bool operator==(const DeploymentAttributes &) const = default;
    static DeploymentAttributes fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

struct DeploymentOutputAttributes
{
    QString output;

    bool operator==(const DeploymentOutputAttributes &) const = default;
    static DeploymentOutputAttributes fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

struct Webhook
{
    qint64 id = 0; // not in the attributes: the Forge client sets it from the resource's id
    QString url;

    bool operator==(const Webhook &) const = default;
    static Webhook fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const; // "url" only
};

} // namespace plimsy
