#include "notifications/SiteMonitorManager.h"

#include "core/LoadedRecords.h"
#include "core/Logger.h"
#include "core/RunDetached.h"
#include "core/Server.h"
#include "notifications/SiteMonitoringStore.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QThread>
#include <QTimer>

namespace plimsy {

struct SiteMonitorManager::Pass
{
    // Shares the loaded list rather than copying thousands of records into the checks.
    QList<Site> sites;
    QList<Check> checks;
    qsizetype next = 0;
    qsizetype completed = 0;
    bool finished = false;
};

SiteMonitorManager::SiteMonitorManager(SiteMonitorDelegate *delegate, QObject *parent)
    : SiteMonitorManager(delegate, Services{}, parent)
{
}

SiteMonitorManager::SiteMonitorManager(SiteMonitorDelegate *delegate, Services services, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
    , m_services(std::move(services))
    , m_defaults(m_services.defaults ? *m_services.defaults : UserDefaults::standard())
    , m_clock(m_services.clock ? *m_services.clock : Clock::system())
    , m_sleeper(m_services.sleeper ? *m_services.sleeper : Sleeper::system())
    , m_store(m_services.store ? *m_services.store : SiteMonitoringStore::shared())
{
}

SiteMonitorManager::~SiteMonitorManager()
{
    // Running checks end here, their curls killed and nothing stored, so no probe outlives the manager;
    // checks not yet started die with their pass.
    m_stop.stop();
}

void SiteMonitorManager::checkAllSites(bool force)
{
    if (QThread::currentThread() != thread()) {
        QPointer self(this);
        QMetaObject::invokeMethod(
            this,
            [self, force] {
                if (self) {
                    self->checkAllSites(force);
                }
            },
            Qt::QueuedConnection);
        return;
    }
    if (!force && !m_defaults.boolValue(QStringLiteral("monitorSites"))) {
        return;
    }
    if (m_isChecking) {
        return;
    }
    m_isChecking = true;
    m_defaults.setValue(QStringLiteral("siteMonitorInited"), m_clock.now());

    std::shared_ptr<Pass> pass = plannedPass();
    if (!pass) {
        m_isChecking = false;
        QTimer::singleShot(0, this, [this] {
            if (m_delegate) {
                m_delegate->siteMonitorDidFinish();
            }
        });
        return;
    }
    m_currentPass = std::move(pass);
    runDetached(runSafetyTimer(m_currentPass));
    startChecks();
}

std::shared_ptr<SiteMonitorManager::Pass> SiteMonitorManager::plannedPass() const
{
    const LoadedRecords *records = m_services.records ? m_services.records : LoadedRecords::current();
    if (!records) {
        return nullptr;
    }
    const QList<Server> servers = records->servers();
    QHash<qint64, const Server *> serversById;
    for (const Server &server : servers) {
        if (!serversById.contains(server.id)) {
            serversById.insert(server.id, &server);
        }
    }
    auto pass = std::make_shared<Pass>();
    pass->sites = records->sites();
    const QList<Site> &sites = pass->sites;
    pass->checks.reserve(sites.size());
    for (qsizetype i = 0; i < sites.size(); ++i) {
        const Site &site = sites.at(i);
        if (site.disableMonitoring.value_or(false)) {
            continue;
        }
        std::optional<QString> address;
        if (site.name == QStringLiteral("default") && site.serverId && serversById.contains(*site.serverId)) {
            const Server &server = *serversById.value(*site.serverId);
            const bool usePrivate = server.usePrivateIp.value_or(false) && server.privateIpAddress;
            address = usePrivate ? server.privateIpAddress : server.ipAddress;
        }
        pass->checks.append({i, std::move(address)});
    }
    if (pass->checks.isEmpty()) {
        return nullptr;
    }
    return pass;
}

void SiteMonitorManager::startChecks()
{
    const std::shared_ptr<Pass> pass = m_currentPass;
    while (pass && !pass->finished && pass->next < pass->checks.size() && m_running < MaxConcurrentChecks) {
        ++m_running;
        runDetached(checkOneSite(pass, pass->checks[pass->next++]));
    }
}

QCoro::Task<> SiteMonitorManager::checkOneSite(std::shared_ptr<Pass> pass, Check check)
{
    QPointer self(this);
    const Site &site = pass->sites.at(check.site);
    SiteMonitor monitor(site, check.serverIPForDefaultSite, m_services.curlPath, m_services.limits, &m_stop);
    QCoro::Task<std::optional<SiteCheckError>> checking = monitor.checkSite();
    const std::optional<SiteCheckError> error = co_await std::move(checking);
    // A stop comes from the manager's destructor, while `self` still holds.
    if (!self || m_stop.isStopped()) {
        co_return;
    }
    --m_running;
    // A straggler of a timed-out pass still stores its result and counts, but ends nothing.
    m_store.setStatus(error ? MonitoringStatus::down(description(*error)) : MonitoringStatus::up(), site.id);
    pass->completed += 1;
    if (pass->completed >= pass->checks.size()) {
        finishPass(pass, false);
    }
    startChecks();
}

QCoro::Task<> SiteMonitorManager::runSafetyTimer(std::shared_ptr<Pass> pass)
{
    QPointer self(this);
    co_await m_sleeper.sleep(SafetyTimeout);
    if (self) {
        finishPass(pass, true);
    }
}

void SiteMonitorManager::finishPass(const std::shared_ptr<Pass> &pass, bool timedOut)
{
    if (pass->finished) {
        return;
    }
    pass->finished = true;
    // The end line is printed even when the manager is gone by then.
    QPointer self(this);
    QTimer::singleShot(0, QCoreApplication::instance(), [self, pass, timedOut] {
        const QString counts = QStringLiteral("%1/%2").arg(pass->completed).arg(pass->checks.size());
        printLine(timedOut ? QStringLiteral("⏰ Safety timeout fired - ") + counts
                                 + QStringLiteral(" completed, calling delegate anyway")
                           : QStringLiteral("🏁 All site checks completed (") + counts
                                 + QStringLiteral(") - calling delegate"));
        if (self) {
            self->reportFinished(pass);
        }
    });
}

void SiteMonitorManager::reportFinished(const std::shared_ptr<Pass> &pass)
{
    if (m_currentPass == pass) {
        m_currentPass.reset();
    }
    m_isChecking = false;
    if (m_delegate) {
        m_delegate->siteMonitorDidFinish();
    }
}

const QList<qint64> &SiteMonitorManager::monitorIntervals()
{
    static const QList<qint64> s_intervals{10, 30, 60, 720, 1440};
    return s_intervals;
}

qint64 SiteMonitorManager::validatedMonitorInterval(qint64 value,
                                                    const QList<qint64> &allowed,
                                                    qint64 fallback,
                                                    UserDefaults &defaults)
{
    const qint64 used = monitorIntervalInUse(value, allowed, fallback);
    if (used != value) {
        defaults.setValue(QStringLiteral("monitorSitesInterval"), used);
    }
    return used;
}

qint64 SiteMonitorManager::monitorIntervalInUse(qint64 value, const QList<qint64> &allowed, qint64 fallback)
{
    if (!allowed.isEmpty() && value < allowed.first()) {
        return allowed.first();
    }
    return allowed.contains(value) ? value : fallback;
}

} // namespace plimsy
