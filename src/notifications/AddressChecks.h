#pragma once

#include "core/LoadedRecords.h"
#include "core/Server.h"
#include "core/Site.h"
#include "notifications/SiteMonitorManager.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/UserDefaults.h"

#include <QObject>
#include <QStringList>
#include <QTemporaryDir>

namespace plimsy {

// One forced pass of the site monitor manager over addresses instead of loaded sites: site 1, 2, ... in
// the addresses' order, named "site-<id>", each address as the site's alias. For site-check and the
// benchmark; keeps its own defaults and store, so it touches none of the application's. GUI thread.
class AddressChecks final : public QObject, private LoadedRecords, private SiteMonitorDelegate
{
    Q_OBJECT

public:
    explicit AddressChecks(const QStringList &addresses, QObject *parent = nullptr);

    // `finished` follows once every address has been checked, or at the safety time-out.
    void start();

    QList<Site> checkedSites() const { return m_sites; }
    MonitoringStatus status(qint64 siteId) const { return m_store.status(siteId); }

Q_SIGNALS:
    void finished();

private:
    QList<Server> servers() const override { return {}; }
    QList<Site> sites() const override { return m_sites; }
    bool isLoadingData() const override { return false; }
    void siteMonitorDidFinish() override { Q_EMIT finished(); }

    QList<Site> m_sites;
    QTemporaryDir m_scratch;
    UserDefaults m_defaults;
    SiteMonitoringStore m_store;
    SiteMonitorManager m_manager;

    Q_DISABLE_COPY_MOVE(AddressChecks)
};

} // namespace plimsy
