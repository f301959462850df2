#pragma once

#include <QString>

#include <array>

class QWidget;

namespace plimsy {

struct PreferencesServices;

struct PreferencesTab
{
    const char *label;
    // Desktop icon theme names, the first one the theme has wins.
    std::array<const char *, 2> iconNames;
    const char *objectName;
};

// The Preferences window's tabs, in toolbar order.
inline constexpr std::array<PreferencesTab, 5> PreferencesTabTable{{
    {"General", {"preferences-system", "emblem-system"}, "generalTabAction"},
    {"Forge Accounts", {"dialog-password", "security-high"}, "forgeAccountsTabAction"},
    {"Servers", {"network-server", "computer"}, "serversTabAction"},
    {"Monitoring", {"utilities-system-monitor", "network-workgroup"}, "monitoringTabAction"},
    {"Account", {"avatar-default", "system-users"}, "accountTabAction"},
}};

// The content of the tab with this label; an empty view for a label it does not know (or a tab that
// has no content in this build yet).
QWidget *preferencesTabView(const QString &label, const PreferencesServices &services);

} // namespace plimsy
