#pragma once

#include <QLatin1String>

// Names of the in-process notices that subsystems post on NotificationCenter::defaultCenter().
namespace plimsy::NotificationNames {

inline constexpr QLatin1String authStateChanged{"authStateChanged"};
inline constexpr QLatin1String showAPIKeySetup{"showAPIKeySetup"};
inline constexpr QLatin1String autoRefreshIntervalChanged{"autoRefreshIntervalChanged"};
inline constexpr QLatin1String announcementAvailable{"AnnouncementAvailable"};
inline constexpr QLatin1String customServersDidChange{"customServersDidChange"};
inline constexpr QLatin1String favoriteSitesDidChange{"favoriteSitesDidChange"};
inline constexpr QLatin1String accountsChanged{"accountsChanged"};
inline constexpr QLatin1String accountsReordered{"accountsReordered"};
inline constexpr QLatin1String monitoringSettingsChanged{"monitoringSettingsChanged"};
inline constexpr QLatin1String windowClosed{"windowClosed"};
inline constexpr QLatin1String allSitesLoaded{"allSitesLoaded"};

} // namespace plimsy::NotificationNames
