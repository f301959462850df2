#include "notifications/SiteMonitoringStore.h"

#include <QMutexLocker>

namespace plimsy {

SiteMonitoringStore &SiteMonitoringStore::shared()
{
    static auto *s_store = new SiteMonitoringStore;
    return *s_store;
}

void SiteMonitoringStore::setStatus(const MonitoringStatus &status, qint64 siteId)
{
    const QMutexLocker lock(&m_mutex);
    m_siteStatuses.insert(siteId, status);
}

MonitoringStatus SiteMonitoringStore::status(qint64 siteId) const
{
    const QMutexLocker lock(&m_mutex);
    return m_siteStatuses.value(siteId, MonitoringStatus::unchecked());
}

void SiteMonitoringStore::removeAll()
{
    const QMutexLocker lock(&m_mutex);
    m_siteStatuses.clear();
}

} // namespace plimsy
