#pragma once

#include <QString>

#include <array>

class QWidget;

namespace plimsy {

struct PreferencesServices;

struct PreferencesTab
{
    const char *label;
    // Desktop icon theme names, the first one the theme has wins: one-colour symbolic icons first, as
    // they scale to the toolbar's size and look alike.
    std::array<const char *, 3> iconNames;
    const char *objectName;
};

// The Preferences window's tabs, in toolbar order.
inline constexpr std::array<PreferencesTab, 5> PreferencesTabTable{{
    {"General", {"preferences-system-symbolic", "emblem-system-symbolic", "preferences-system"}, "generalTabAction"},
    {"Forge Accounts",
     {"dialog-password-symbolic", "channel-secure-symbolic", "dialog-password"},
     "forgeAccountsTabAction"},
    {"Servers", {"network-server-symbolic", "computer-symbolic", "network-server"}, "serversTabAction"},
    {"Monitoring",
     {"utilities-system-monitor-symbolic", "power-profile-performance-symbolic", "utilities-system-monitor"},
     "monitoringTabAction"},
    {"Account", {"avatar-default-symbolic", "system-users-symbolic", "avatar-default"}, "accountTabAction"},
}};

// The content of the tab with this label; an empty view for a label it does not know.
QWidget *preferencesTabView(const QString &label, const PreferencesServices &services);

} // namespace plimsy
