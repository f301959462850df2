#include "core/ForgeAttributes.h"

#include "core/JsonFields.h"

namespace plimsy {

using namespace json;

ContentAttributes ContentAttributes::fromJson(const QJsonObject &object, const QString &path)
{
    return ContentAttributes{requiredString(object, QLatin1String("content"), path)};
}

QJsonObject ContentAttributes::toJson() const
{
    return QJsonObject{{QLatin1String("content"), content}};
}

DeploymentAttributes DeploymentAttributes::fromJson(const QJsonObject &object, const QString &path)
{
    DeploymentAttributes deployment;
    deployment.status = optionalString(object, QLatin1String("status"), path);
    deployment.commitHash = optionalString(object, QLatin1String("commitHash"), path);
    deployment.commitAuthor = optionalString(object, QLatin1String("commitAuthor"), path);
    deployment.commitMessage = optionalString(object, QLatin1String("commitMessage"), path);
    deployment.startedAt = optionalString(object, QLatin1String("startedAt"), path);
    deployment.endedAt = optionalString(object, QLatin1String("endedAt"), path);
    return deployment;
}

QJsonObject DeploymentAttributes::toJson() const
{
    QJsonObject object;
    insertIfPresent(object, QLatin1String("status"), status);
    insertIfPresent(object, QLatin1String("commitHash"), commitHash);
    insertIfPresent(object, QLatin1String("commitAuthor"), commitAuthor);
    insertIfPresent(object, QLatin1String("commitMessage"), commitMessage);
    insertIfPresent(object, QLatin1String("startedAt"), startedAt);
    insertIfPresent(object, QLatin1String("endedAt"), endedAt);
    return object;
}

DeploymentOutputAttributes DeploymentOutputAttributes::fromJson(const QJsonObject &object, const QString &path)
{
    return DeploymentOutputAttributes{requiredString(object, QLatin1String("output"), path)};
}

QJsonObject DeploymentOutputAttributes::toJson() const
{
    return QJsonObject{{QLatin1String("output"), output}};
}

Webhook Webhook::fromJson(const QJsonObject &object, const QString &path)
{
    return Webhook{0, requiredString(object, QLatin1String("url"), path)};
}

QJsonObject Webhook::toJson() const
{
    return QJsonObject{{QLatin1String("url"), url}};
}

} // namespace plimsy
