#include "app/UpdateController.h"

#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "core/RunDetached.h"
#include "core/URLConstants.h"
#include "platform/AlertPresenter.h"
#include "platform/ApplicationActivation.h"
#include "platform/BundleInfo.h"
#include "platform/Clock.h"
#include "platform/HttpSession.h"
#include "platform/UrlOpener.h"
#include "platform/UserDefaults.h"

#include <QPointer>

#include <algorithm>

namespace plimsy {

namespace {

// The answer to a check, read while the controller may be gone.
struct CheckOutcome
{
    std::optional<AppcastItem> newest;
    std::optional<QString> failure;
};

QCoro::Task<CheckOutcome> fetchNewest(QString feedURL, HttpSession *session)
{
    CheckOutcome outcome;
    try {
        const QUrl url(feedURL, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) {
            throw AppcastError("The update feed has no valid address.");
        }
        const HttpResponse response = co_await session->send(QNetworkRequest(url));
        if (response.statusCode != 200) {
            throw AppcastError(
                QStringLiteral("The update feed answered with HTTP status %1.").arg(response.statusCode).toStdString());
        }
        outcome.newest = Appcast::newestItem(response.body);
    } catch (const std::exception &error) {
        outcome.failure = errorDescription(error);
    }
    co_return outcome;
}

} // namespace

UpdateController &UpdateController::shared()
{
    static auto *s_shared = new UpdateController;
    return *s_shared;
}

UpdateController::UpdateController()
    : UpdateController(Services{})
{
}

UpdateController::UpdateController(Services services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
{
    Services &s = m_services;
    s.defaults = s.defaults ? s.defaults : &UserDefaults::standard();
    s.alerts = s.alerts ? s.alerts : &AlertPresenter::system();
    s.urlOpener = s.urlOpener ? s.urlOpener : &UrlOpener::system();
    s.session = s.session ? s.session : &HttpSession::shared();
    s.clock = s.clock ? s.clock : &Clock::system();
    s.sleeper = s.sleeper ? s.sleeper : &Sleeper::system();
    if (s.feedURL.isEmpty()) {
        s.feedURL = URLConstants::updateFeedURL();
    }
    if (s.build.isEmpty()) {
        s.shortVersion = QString::fromLatin1(BundleInfo::ShortVersion);
        s.build = QString::fromLatin1(BundleInfo::BuildNumber);
    }
    m_build = QVersionNumber::fromString(s.build);
    schedule();
}

UpdateController::~UpdateController()
{
    ++m_scheduleGeneration;
}

bool UpdateController::automaticallyChecksForUpdates() const
{
    const QVariant stored = m_services.defaults->object(QLatin1String(AutomaticChecksKey));
    return !stored.isValid() || stored.toBool();
}

void UpdateController::setAutomaticallyChecksForUpdates(bool isOn)
{
    m_services.defaults->setValue(QLatin1String(AutomaticChecksKey), isOn);
    schedule();
}

void UpdateController::checkForUpdates()
{
    runDetached(runCheck(true));
}

QDateTime UpdateController::lastCheck() const
{
    const qint64 seconds = m_services.defaults->integer(QLatin1String(LastCheckKey));
    return seconds > 0 ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC) : QDateTime();
}

void UpdateController::schedule()
{
    const quint64 generation = ++m_scheduleGeneration;
    if (automaticallyChecksForUpdates()) {
        runDetached(runSchedule(generation));
    }
}

QCoro::Task<> UpdateController::runSchedule(quint64 generation)
{
    QPointer self(this);
    if (!lastCheck().isValid()) {
        // A first launch waits a day like any other, rather than asking the network at once.
        m_services.defaults->setValue(QLatin1String(LastCheckKey), m_services.clock->now().toSecsSinceEpoch());
    }
    for (;;) {
        const QDateTime due = lastCheck().addSecs(std::chrono::seconds(CheckInterval).count());
        // A check "in the future" (the clock was set back) counts as made now.
        const qint64 wait = std::clamp<qint64>(
            m_services.clock->now().msecsTo(due), 0, std::chrono::milliseconds(CheckInterval).count());
        co_await m_services.sleeper->sleep(std::chrono::milliseconds(wait));
        if (!self || generation != m_scheduleGeneration) {
            co_return;
        }
        co_await runCheck(false);
        if (!self || generation != m_scheduleGeneration) {
            co_return;
        }
    }
}

QCoro::Task<> UpdateController::runCheck(bool isUserInitiated)
{
    if (m_isChecking) {
        co_return;
    }
    m_isChecking = true;
    QPointer self(this);
    m_services.defaults->setValue(QLatin1String(LastCheckKey), m_services.clock->now().toSecsSinceEpoch());
    const CheckOutcome outcome = co_await fetchNewest(m_services.feedURL, m_services.session);
    if (!self) {
        co_return;
    }
    m_isChecking = false;
    if (outcome.failure) {
        log(QStringLiteral("[Updates] The update check failed: ") + *outcome.failure);
        if (isUserInitiated) {
            tell(QStringLiteral("Update Error!"),
                 QStringLiteral("Plimsy could not check for updates. ") + *outcome.failure);
        }
    } else if (outcome.newest && outcome.newest->build > m_build) {
        runDetached(offerDownload(*outcome.newest));
    } else if (isUserInitiated) {
        tell(QStringLiteral("You're up to date!"),
             QStringLiteral("Plimsy %1 (%2) is the newest version available.")
                 .arg(m_services.shortVersion, m_services.build));
    }
    Q_EMIT checkFinished();
}

QCoro::Task<> UpdateController::offerDownload(AppcastItem item)
{
    ApplicationActivation::activate();
    const Alert offer{QStringLiteral("A new version of Plimsy is available!"),
                      QStringLiteral("Plimsy %1 (%2) is available; you have %3 (%4). Download it from its web page.")
                          .arg(item.shortVersion, item.build.toString(), m_services.shortVersion, m_services.build),
                      Alert::Style::Informational,
                      {QStringLiteral("Download…"), QStringLiteral("Later")}};
    UrlOpener *urlOpener = m_services.urlOpener;
    const int answer = co_await m_services.alerts->ask(offer);
    if (answer == 0) {
        urlOpener->openUrl(item.page);
    }
}

void UpdateController::tell(const QString &title, const QString &text)
{
    ApplicationActivation::activate();
    m_services.alerts->show({title, text, Alert::Style::Informational, {}});
}

} // namespace plimsy
