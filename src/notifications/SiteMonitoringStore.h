#pragma once

#include "notifications/MonitoringStatus.h"

#include <QHash>
#include <QMutex>

namespace plimsy {

// The latest check result per site id, for the running process only. Safe from any thread: the checks
// write from their workers while the menu reads on the GUI thread.
class SiteMonitoringStore
{
public:
    SiteMonitoringStore() = default;

    static SiteMonitoringStore &shared();

    void setStatus(const MonitoringStatus &status, qint64 siteId);
    // Unchecked for a site with no result.
    MonitoringStatus status(qint64 siteId) const;
    void removeAll();

private:
    mutable QMutex m_mutex;
    QHash<qint64, MonitoringStatus> m_siteStatuses;

    Q_DISABLE_COPY_MOVE(SiteMonitoringStore)
};

} // namespace plimsy
