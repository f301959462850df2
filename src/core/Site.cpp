#include "core/Site.h"

#include "core/JsonFields.h"
#include "core/LoadedRecords.h"

namespace plimsy {

using namespace json;

Site::Repository Site::Repository::fromJson(const QJsonObject &object, const QString &path)
{
    Repository repository;
    repository.provider = optionalString(object, QLatin1String("provider"), path);
    repository.url = optionalString(object, QLatin1String("url"), path);
    repository.branch = optionalString(object, QLatin1String("branch"), path);
    repository.status = optionalString(object, QLatin1String("status"), path);
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

Site Site::fromJson(const QJsonObject &object, const QString &path)
{
    Site site;
    site.name = optionalString(object, QLatin1String("name"), path);
    site.status = optionalString(object, QLatin1String("status"), path);
    site.url = optionalString(object, QLatin1String("url"), path);
    site.user = optionalString(object, QLatin1String("user"), path);
    site.https = optionalBool(object, QLatin1String("https"), path);
    site.webDirectory = optionalString(object, QLatin1String("web_directory"), path);
    site.rootDirectory = optionalString(object, QLatin1String("root_directory"), path);
    site.aliases = optionalStringList(object, QLatin1String("aliases"), path);
    site.phpVersion = optionalString(object, QLatin1String("php_version"), path);
    site.deploymentStatus = optionalString(object, QLatin1String("deployment_status"), path);
    site.quickDeploy = optionalBool(object, QLatin1String("quick_deploy"), path);
    site.isolated = optionalBool(object, QLatin1String("isolated"), path);
    site.database = optionalString(object, QLatin1String("database"), path);
    if (const auto mode = optionalObject(object, QLatin1String("maintenance_mode"), path)) {
        site.maintenanceMode = MaintenanceMode::fromJson(*mode, member(path, QLatin1String("maintenance_mode")));
    }
    site.zeroDowntimeDeployments = optionalBool(object, QLatin1String("zero_downtime_deployments"), path);
    site.deploymentScript = optionalString(object, QLatin1String("deployment_script"), path);
    site.wildcards = optionalBool(object, QLatin1String("wildcards"), path);
    site.appType = optionalString(object, QLatin1String("app_type"), path);
    site.usesEnvoyer = optionalBool(object, QLatin1String("uses_envoyer"), path);
    site.deploymentUrl = optionalString(object, QLatin1String("deployment_url"), path);
    site.healthcheckUrl = optionalString(object, QLatin1String("healthcheck_url"), path);
    if (const auto repository = optionalObject(object, QLatin1String("repository"), path)) {
        site.repository = Repository::fromJson(*repository, member(path, QLatin1String("repository")));
    }
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
