#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Every remote address the application uses. In a development build (PLIMSY_DEVELOPMENT_OVERRIDES) each
// base can be replaced through an environment variable, for tests and the demo; other builds ignore them
// and log that once. Nothing else reads the environment for addresses.
namespace plimsy::URLConstants {

// The launch argument that switches the product's own addresses to the development hosts.
inline constexpr char DevBackendArgument[] = "-useDevBackend";

// True when one of the arguments is exactly "-useDevBackend".
bool isDevBackend(const QStringList &arguments = QCoreApplication::arguments());

// Forge API root, ending in "/api/" (PLIMSY_FORGE_API_BASE).
QString forgeAPIBase();
// Forge web pages of servers, ending in "/servers/" (PLIMSY_FORGE_WEB_BASE).
QString forgeWebBase();
// The product's web application, no trailing slash (PLIMSY_WEB_BASE; development: PLIMSY_DEV_WEB_BASE).
QString productWebBase();
QString devWebBase();
// The product's backend API, ending in "/v1" (PLIMSY_API_BASE; development: PLIMSY_DEV_API_BASE).
QString productAPIBase();
QString devAPIBase();
// The launch statistics endpoint (PLIMSY_STATS_URL).
QString statsURL();
// The legacy push relay's API, ending in "/api/v2/" (PLIMSY_RELAY_BASE).
QString relayBase();
// The update feed (PLIMSY_UPDATE_FEED_URL).
QString updateFeedURL();

// The web or API base that the development switch selects.
QString webBase(const QStringList &arguments = QCoreApplication::arguments());
QString apiBase(const QStringList &arguments = QCoreApplication::arguments());

} // namespace plimsy::URLConstants

namespace plimsy {

// Web base + path; the path starts with "/".
QString webURL(const QString &path, const QStringList &arguments = QCoreApplication::arguments());
QString apiKeyHelpURL(const QStringList &arguments = QCoreApplication::arguments());
QString dashboardURL(const QStringList &arguments = QCoreApplication::arguments());
QString announcementsURL(const QStringList &arguments = QCoreApplication::arguments());
// The Forge web page of a site: Forge web base + server id + "/sites/" + site id.
QString forgeSiteURL(qint64 serverId, qint64 siteId);
// Forge's page where a user makes API tokens: the Forge web base's scheme and host + "/profile/api".
QString forgeAPITokenURL();

} // namespace plimsy
