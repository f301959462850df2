#include "core/Organization.h"

#include "core/JsonFields.h"

namespace plimsy {

using namespace json;

Organization Organization::fromJson(const QJsonObject &object, const QString &path)
{
    Organization organization;
    organization.id = optionalInteger(object, QLatin1String("id"), path);
    organization.name = requiredString(object, QLatin1String("name"), path);
    organization.slug = requiredString(object, QLatin1String("slug"), path);
    return organization;
}

QJsonObject Organization::toJson() const
{
    QJsonObject object{{QLatin1String("name"), name}, {QLatin1String("slug"), slug}};
    insertIfPresent(object, QLatin1String("id"), id);
    return object;
}

} // namespace plimsy
