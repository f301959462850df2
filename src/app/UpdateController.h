#pragma once

#include "app/Appcast.h"
#include "preferences/UpdaterControl.h"

#include <QCoro/QCoroTask>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <chrono>

namespace plimsy {

class AlertPresenter;
class Clock;
class HttpSession;
class Sleeper;
class UrlOpener;
class UserDefaults;

// In-app update checks against the update feed. A check the user asks for answers "up to date", offers
// the download page of a newer version or reports the failure; the daily check, while automatic checks
// are on, speaks only of a newer version. Nothing is ever installed: "Download…" opens the page in the
// browser. GUI thread.
class UpdateController : public QObject, public UpdaterControl
{
    Q_OBJECT

public:
    static constexpr auto AutomaticChecksKey = "automaticallyChecksForUpdates";
    static constexpr auto LastCheckKey = "lastUpdateCheck";
    static constexpr std::chrono::hours CheckInterval{24};

    // Empty members take the process-wide services, the feed of the URL constants and this build.
    struct Services
    {
        UserDefaults *defaults = nullptr;
        AlertPresenter *alerts = nullptr;
        UrlOpener *urlOpener = nullptr;
        HttpSession *session = nullptr;
        const Clock *clock = nullptr;
        Sleeper *sleeper = nullptr;
        QString feedURL;
        QString shortVersion;
        QString build;
    };

    // Made on first use; the application makes it at launch so that the daily checks run.
    static UpdateController &shared();

    // Starts the updater: the daily check is scheduled while automatic checks are on.
    UpdateController();
    explicit UpdateController(Services services, QObject *parent = nullptr);
    ~UpdateController() override;

    // On unless switched off.
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool isOn) override;

    // A check the user asked for: its outcome is always shown. Ignored while a check runs.
    void checkForUpdates() override;

Q_SIGNALS:
    // A check ended, whatever its outcome.
    void checkFinished();

private:
    void schedule();
    QCoro::Task<> runSchedule(quint64 generation);
    QCoro::Task<> runCheck(bool isUserInitiated);
    QCoro::Task<> offerDownload(plimsy::AppcastItem item);
    void tell(const QString &title, const QString &text);
    QDateTime lastCheck() const;

    Services m_services;
    QVersionNumber m_build;
    bool m_isChecking = false;
    // Moving it on cancels a scheduled check.
    quint64 m_scheduleGeneration = 0;

    Q_DISABLE_COPY_MOVE(UpdateController)
};

} // namespace plimsy
