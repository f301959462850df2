#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTypeInfo>

#include <optional>

namespace plimsy {

// One Forge site: the attributes of a site resource, plus the fields the Forge client and the server
// loader fill in afterwards (never read from or written to JSON).
struct Site
{
    struct Repository
    {
        std::optional<QString> provider;
        std::optional<QString> url;
        std::optional<QString> branch;
        std::optional<QString> status;

        bool operator==(const Repository &) const = default;
        static Repository fromJson(const QJsonObject &object, const QString &path);
        QJsonObject toJson() const;
    };

    struct MaintenanceMode
    {
        bool enabled = false; // required inside the object
        std::optional<QString> status;

        bool operator==(const MaintenanceMode &) const = default;
        static MaintenanceMode fromJson(const QJsonObject &object, const QString &path);
        QJsonObject toJson() const;
    };

    qint64 id = 0; // the resource's id, set by the Forge client
    std::optional<QString> name;
    std::optional<QString> status;
    std::optional<QString> url;
    std::optional<QString> user;
    std::optional<bool> https;
    std::optional<QString> webDirectory;
    std::optional<QString> rootDirectory;
    std::optional<QStringList> aliases;
    std::optional<QString> phpVersion;
    std::optional<QString> deploymentStatus;
    std::optional<bool> quickDeploy;
    std::optional<bool> isolated;
    std::optional<QString> database;
    std::optional<MaintenanceMode> maintenanceMode;
    std::optional<bool> zeroDowntimeDeployments;
    std::optional<QString> deploymentScript;
    std::optional<bool> wildcards;
    std::optional<QString> appType;
    std::optional<bool> usesEnvoyer;
    std::optional<QString> deploymentUrl;
    std::optional<QString> healthcheckUrl;
    std::optional<Repository> repository;

    std::optional<qint64> serverId;
    std::optional<QString> accountId;
    std::optional<bool> disableMonitoring;
    std::optional<QString> URLAlias;
    std::optional<QString> organizationSlug;

    bool operator==(const Site &) const = default;

    // Throws DecodingError. `id` is 0 and the application's fields are none afterwards.
    static Site fromJson(const QJsonObject &object, const QString &path);
    // The attributes only: no id, no application field, no null.
    QJsonObject toJson() const;

    // The first site with the id in the application's loaded list, loading or not. GUI thread.
    static std::optional<Site> find(qint64 id);
    static std::optional<Site> find(qint64 id, const QList<Site> &sites);
};

} // namespace plimsy

// Every member moves as its bytes: a list of thousands of sites grows by moving memory, not site by site.
Q_DECLARE_TYPEINFO(plimsy::Site, Q_RELOCATABLE_TYPE);
