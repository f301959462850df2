#include "notifications/AddressChecks.h"

namespace plimsy {

namespace {

SiteMonitorManager::Services
checkServices(const LoadedRecords &records, UserDefaults &defaults, SiteMonitoringStore &store)
{
    SiteMonitorManager::Services services;
    services.records = &records;
    services.defaults = &defaults;
    services.store = &store;
    return services;
}

} // namespace

AddressChecks::AddressChecks(const QStringList &addresses, QObject *parent)
    : QObject(parent)
    // The pass records its start in the defaults: a scratch file, never the user's settings.
    , m_defaults(m_scratch.filePath(QStringLiteral("checks.conf")))
    , m_manager(this, checkServices(*this, m_defaults, m_store))
{
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        Site site;
        site.id = i + 1;
        site.name = QStringLiteral("site-%1").arg(site.id);
        site.URLAlias = addresses[i];
        m_sites.append(site);
    }
}

void AddressChecks::start()
{
    m_manager.checkAllSites(true);
}

} // namespace plimsy
