#include "core/Site.h"

#include "core/JsonFields.h"
#include "core/LoadedRecords.h"

namespace plimsy {

using namespace json;

Site::Repository Site::Repository::fromJson(const QJsonObject &object, const QString &path)
{
    static const MemberReaders<Repository> readers{
        {QStringLiteral("provider"), field<&Repository::provider>},
        {QStringLiteral("url"), field<&Repository::url>},
        {QStringLiteral("branch"), field<&Repository::branch>},
        {QStringLiteral("status"), field<&Repository::status>},
    };
    Repository repository;
    readMembers(object, path, readers, repository);
    return repository;
}

QJsonObject Site::Repository::toJson() const
{
    QJsonObject object;
    insertIfPresent(object, QLatin1String("provider"), provider);
    insertIfPresent(object, QLatin1String("url"), url);
    insertIfPresent(object, QLatin1String("branch"), branch);
    insertIfPresent(object, QLatin1String("status"), status);
    return object;
}

Site::MaintenanceMode Site::MaintenanceMode::fromJson(const QJsonObject &object, const QString &path)
{
    MaintenanceMode mode;
    mode.enabled = requiredBool(object, QLatin1String("enabled"), path);
    mode.status = optionalString(object, QLatin1String("status"), path);
    return mode;
}

QJsonObject Site::MaintenanceMode::toJson() const
{
    QJsonObject object{{QLatin1String("enabled"), enabled}};
    insertIfPresent(object, QLatin1String("status"), status);
    return object;
}

namespace {

// A nested record's member: read on its own, its path only put together when it fails.
template <typename Nested, std::optional<Nested> Site::*Field>
void nested(Site &site, const QJsonValue &value, const Member &at)
{
    const QJsonObject object = valueAs<QJsonObject>(value, at);
    try {
        site.*Field = Nested::fromJson(object, {});
    } catch (const DecodingError &error) {
        throw DecodingError(joinPath(joinPath(at.path, at.key), error.path()), error.problem());
    }
}

} // namespace

Site Site::fromJson(const QJsonObject &object, const QString &path)
{
    static const MemberReaders<Site> readers{
        {QStringLiteral("name"), field<&Site::name>},
        {QStringLiteral("status"), field<&Site::status>},
        {QStringLiteral("url"), field<&Site::url>},
        {QStringLiteral("user"), field<&Site::user>},
        {QStringLiteral("https"), field<&Site::https>},
        {QStringLiteral("web_directory"), field<&Site::webDirectory>},
        {QStringLiteral("root_directory"), field<&Site::rootDirectory>},
        {QStringLiteral("aliases"), field<&Site::aliases>},
        {QStringLiteral("php_version"), field<&Site::phpVersion>},
        {QStringLiteral("deployment_status"), field<&Site::deploymentStatus>},
        {QStringLiteral("quick_deploy"), field<&Site::quickDeploy>},
        {QStringLiteral("isolated"), field<&Site::isolated>},
        {QStringLiteral("database"), field<&Site::database>},
        {QStringLiteral("maintenance_mode"), nested<MaintenanceMode, &Site::maintenanceMode>},
        {QStringLiteral("zero_downtime_deployments"), field<&Site::zeroDowntimeDeployments>},
        {QStringLiteral("deployment_script"), field<&Site::deploymentScript>},
        {QStringLiteral("wildcards"), field<&Site::wildcards>},
        {QStringLiteral("app_type"), field<&Site::appType>},
        {QStringLiteral("uses_envoyer"), field<&Site::usesEnvoyer>},
        {QStringLiteral("deployment_url"), field<&Site::deploymentUrl>},
        {QStringLiteral("healthcheck_url"), field<&Site::healthcheckUrl>},
        {QStringLiteral("repository"), nested<Repository, &Site::repository>},
    };
    Site site;
    readMembers(object, path, readers, site);
    return site;
}

QJsonObject Site::toJson() const
{
    QJsonObject object;
    insertIfPresent(object, QLatin1String("name"), name);
    insertIfPresent(object, QLatin1String("status"), status);
    insertIfPresent(object, QLatin1String("url"), url);
    insertIfPresent(object, QLatin1String("user"), user);
    insertIfPresent(object, QLatin1String("https"), https);
    insertIfPresent(object, QLatin1String("aliases"), aliases);
    insertIfPresent(object, QLatin1String("database"), database);
    insertIfPresent(object, QLatin1String("wildcards"), wildcards);
    insertIfPresent(object, QLatin1String("isolated"), isolated);
    if (repository) {
        object.insert(QLatin1String("repository"), repository->toJson());
    }
    insertIfPresent(object, QLatin1String("web_directory"), webDirectory);
    insertIfPresent(object, QLatin1String("root_directory"), rootDirectory);
    insertIfPresent(object, QLatin1String("php_version"), phpVersion);
    insertIfPresent(object, QLatin1String("deployment_status"), deploymentStatus);
    insertIfPresent(object, QLatin1String("quick_deploy"), quickDeploy);
    if (maintenanceMode) {
        object.insert(QLatin1String("maintenance_mode"), maintenanceMode->toJson());
    }
    insertIfPresent(object, QLatin1String("zero_downtime_deployments"), zeroDowntimeDeployments);
    insertIfPresent(object, QLatin1String("deployment_script"), deploymentScript);
    insertIfPresent(object, QLatin1String("app_type"), appType);
    insertIfPresent(object, QLatin1String("uses_envoyer"), usesEnvoyer);
    insertIfPresent(object, QLatin1String("deployment_url"), deploymentUrl);
    insertIfPresent(object, QLatin1String("healthcheck_url"), healthcheckUrl);
    return object;
}

std::optional<Site> Site::find(qint64 id)
{
    const LoadedRecords *records = LoadedRecords::current();
    return records ? find(id, records->sites()) : std::nullopt;
}

std::optional<Site> Site::find(qint64 id, const QList<Site> &sites)
{
    return firstWithId(sites, id);
}

} // namespace plimsy
