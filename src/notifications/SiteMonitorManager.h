#pragma once

#include "notifications/SiteMonitor.h"

#include <QCoro/QCoroTask>
#include <QList>
#include <QObject>

#include <chrono>
#include <memory>

namespace plimsy {

class Clock;
class LoadedRecords;
class SiteMonitoringStore;
class Sleeper;
class UserDefaults;

class SiteMonitorDelegate
{
public:
    virtual ~SiteMonitorDelegate() = default;
    // Once per pass, on the GUI thread.
    virtual void siteMonitorDidFinish() = 0;
};

// Runs the passes of site checks: one curl probe per monitored site of the loaded lists, at most six at
// a time (the next starting as one ends), each result stored, and the delegate told once per pass,
// when every check has reported or when the safety time-out fires. GUI thread.
class SiteMonitorManager : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxConcurrentChecks = 6;
    static constexpr std::chrono::seconds SafetyTimeout{120};
    // What "monitorSitesInterval" may hold, in minutes, and what stands for any other value of the first
    // or more.
    static const QList<qint64> &monitorIntervals();
    static constexpr qint64 FallbackMonitorInterval = 60;

    // Every member left empty takes the process-wide default.
    struct Services
    {
        // The loaded servers and sites; the default is the one the application registered.
        const LoadedRecords *records = nullptr;
        UserDefaults *defaults = nullptr;
        const Clock *clock = nullptr;
        // Runs the safety time-out.
        Sleeper *sleeper = nullptr;
        SiteMonitoringStore *store = nullptr;
        QString curlPath = QString::fromLatin1(SiteMonitor::DefaultCurlPath);
        SiteMonitor::Limits limits;
    };

    // `delegate` is not owned and must outlive the manager.
    explicit SiteMonitorManager(SiteMonitorDelegate *delegate, QObject *parent = nullptr);
    SiteMonitorManager(SiteMonitorDelegate *delegate, Services services, QObject *parent = nullptr);
    ~SiteMonitorManager() override;

    bool isChecking() const { return m_isChecking; }
    // Starts a pass unless one runs; without `force` only while "monitorSites" is on. Returns at once.
    void checkAllSites(bool force = false);

    // The stored "monitorSitesInterval" made usable: below the first allowed value that value, an
    // allowed value as it is, anything else `fallback`; a corrected value is stored back under the key.
    static qint64
    validatedMonitorInterval(qint64 value, const QList<qint64> &allowed, qint64 fallback, UserDefaults &defaults);
    // The interval that validatedMonitorInterval gives for `value`, without storing anything.
    static qint64 monitorIntervalInUse(qint64 value, const QList<qint64> &allowed, qint64 fallback);

private:
    // One site of the pass's snapshot to check, by its index there.
    struct Check
    {
        qsizetype site = 0;
        std::optional<QString> serverIPForDefaultSite;
    };
    struct Pass;

    // A pass over the loaded sites, or none when no site is monitored.
    std::shared_ptr<Pass> plannedPass() const;
    void startChecks();
    QCoro::Task<> checkOneSite(std::shared_ptr<Pass> pass, Check check);
    QCoro::Task<> runSafetyTimer(std::shared_ptr<Pass> pass);
    void finishPass(const std::shared_ptr<Pass> &pass, bool timedOut);
    void reportFinished(const std::shared_ptr<Pass> &pass);

    SiteMonitorDelegate *m_delegate;
    Services m_services;
    UserDefaults &m_defaults;
    const Clock &m_clock;
    Sleeper &m_sleeper;
    SiteMonitoringStore &m_store;
    bool m_isChecking = false;
    std::shared_ptr<Pass> m_currentPass;
    // Checks running now, of this pass and of a timed-out one, so no more than six curls ever run.
    int m_running = 0;
    SiteCheckStop m_stop;

    Q_DISABLE_COPY_MOVE(SiteMonitorManager)
};

} // namespace plimsy
