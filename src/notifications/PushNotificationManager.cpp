#include "notifications/PushNotificationManager.h"

#include "account/AuthService.h"
#include "account/DeviceService.h"
#include "account/ServiceContainer.h"
#include "core/ErrorDescription.h"
#include "core/Logger.h"
#include "core/RunDetached.h"
#include "notifications/PushNotificationError.h"
#include "platform/Clock.h"
#include "platform/PushTransport.h"
#include "platform/UserDefaults.h"

#include <QPointer>

#include <coroutine>

namespace plimsy {

namespace {

constexpr int NoFailure = -1;

void print(const QString &line)
{
    printLine(QStringLiteral("[PushNotificationManager] ") + line);
}

// Resumes with the outcome of one shared token wait.
class WaitAwaiter
{
public:
    WaitAwaiter(PushNotificationManager *manager, quint64 wait)
        : m_manager(manager)
        , m_wait(wait)
    {
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(m_manager,
                                        &PushNotificationManager::tokenWaitEnded,
                                        m_manager,
                                        [this, waiting](quint64 wait, const QString &token, int failure) {
                                            if (wait != m_wait) {
                                                return;
                                            }
                                            QObject::disconnect(m_connection);
                                            m_token = token;
                                            m_failure = failure;
                                            waiting.resume(); // may end this awaiter's frame
                                        });
    }
    std::pair<QString, int> await_resume() const { return {m_token, m_failure}; }

private:
    PushNotificationManager *m_manager;
    quint64 m_wait;
    QMetaObject::Connection m_connection;
    QString m_token;
    int m_failure = NoFailure;
};

} // namespace

const QString PushNotificationManager::PushEnabledKey = QStringLiteral("com.tindrel.plimsy.pushEnabled");

PushNotificationManager &PushNotificationManager::shared()
{
    static auto *s_manager = new PushNotificationManager(Services{});
    return *s_manager;
}

PushNotificationManager::PushNotificationManager(Services services, QObject *parent)
    : QObject(parent)
    , m_services(services)
{
}

PushTransport &PushNotificationManager::transport() const
{
    return m_services.transport ? *m_services.transport : PushTransport::system();
}

UserDefaults &PushNotificationManager::defaults() const
{
    return m_services.defaults ? *m_services.defaults : UserDefaults::standard();
}

AuthService &PushNotificationManager::authService() const
{
    return m_services.authService ? *m_services.authService : ServiceContainer::shared().authService();
}

DeviceService &PushNotificationManager::deviceService() const
{
    return m_services.deviceService ? *m_services.deviceService : ServiceContainer::shared().deviceService();
}

bool PushNotificationManager::isSupported() const
{
    return transport().isAvailable();
}

QString PushNotificationManager::unavailableReason() const
{
    return transport().unavailableReason();
}

QCoro::Task<> PushNotificationManager::enableNotifications()
{
    print(QStringLiteral("Starting enableNotifications..."));
    if (!isSupported()) {
        print(QStringLiteral("ERROR: ") + unavailableReason());
        throw PushNotificationError::unavailable(unavailableReason());
    }
    if (!authService().isAuthenticated()) {
        print(QStringLiteral("ERROR: Not authenticated"));
        throw PushNotificationError::notAuthenticated();
    }
    print(QStringLiteral("Step 0: User is authenticated ✓"));

    QPointer<PushNotificationManager> self(this);
    print(QStringLiteral("Step 1: Requesting notification permission..."));
    PushTransport &system = transport();
    const bool granted = co_await system.requestAuthorization();
    if (!self) {
        co_return;
    }
    if (!granted) {
        print(QStringLiteral("ERROR: Permission denied"));
        throw PushNotificationError::permissionDenied();
    }
    print(QStringLiteral("Step 1: Permission granted ✓"));

    print(QStringLiteral("Step 2: Registering for remote notifications..."));
    system.registerForRemoteNotifications();
    print(QStringLiteral("Step 2: Waiting for APNS token..."));
    const QString token = co_await waitForAPNSToken();
    if (!self) {
        co_return;
    }
    print(QStringLiteral("Step 2: APNS token received ✓"));

    print(QStringLiteral("Step 4: Registering push token with backend..."));
    try {
        co_await deviceService().registerPushToken(token, true);
    } catch (const std::exception &error) {
        print(QStringLiteral("ERROR: Failed to register push token: ") + errorDescription(error));
        throw;
    }
    if (!self) {
        co_return;
    }
    print(QStringLiteral("Step 4: Push token registered ✓"));
    defaults().setValue(PushEnabledKey, true);
    print(QStringLiteral("Notifications enabled successfully ✓"));
}

QCoro::Task<> PushNotificationManager::disableNotifications()
{
    QPointer<PushNotificationManager> self(this);
    print(QStringLiteral("disableNotifications: Starting..."));
    print(QStringLiteral("disableNotifications: Calling unregisterPushToken..."));
    try {
        co_await deviceService().unregisterPushToken();
        print(QStringLiteral("disableNotifications: unregisterPushToken succeeded ✓"));
    } catch (const std::exception &error) {
        print(QStringLiteral("disableNotifications: unregisterPushToken failed: ") + errorDescription(error));
    }
    if (!self) {
        co_return;
    }
    print(QStringLiteral("disableNotifications: Unregistering from remote notifications..."));
    transport().unregisterForRemoteNotifications();
    m_apnsToken.reset();
    defaults().setValue(PushEnabledKey, false);
    print(QStringLiteral("disableNotifications: Done ✓"));
}

void PushNotificationManager::didReceiveAPNSToken(const QString &token)
{
    m_apnsToken = token;
    endWait(token, NoFailure);
}

void PushNotificationManager::cancelTokenWait()
{
    endWait(QString(), static_cast<int>(PushNotificationError::Case::Cancelled));
}

void PushNotificationManager::endWait(const QString &token, int failure)
{
    const quint64 wait = std::exchange(m_pendingWait, 0);
    if (wait != 0) {
        Q_EMIT tokenWaitEnded(wait, token, failure, QPrivateSignal());
    }
}

QCoro::Task<QString> PushNotificationManager::waitForAPNSToken()
{
    if (m_apnsToken) {
        // A copy: co_return of a member would move the token out.
        co_return QString(*m_apnsToken);
    }
    if (m_pendingWait == 0) {
        m_pendingWait = ++m_lastWait;
        runDetached(expireWait(m_pendingWait));
    }
    WaitAwaiter outcome(this, m_pendingWait);
    const auto [token, failure] = co_await outcome;
    switch (failure) {
    case NoFailure:
        co_return token;
    case static_cast<int>(PushNotificationError::Case::Cancelled):
        throw PushNotificationError::cancelled();
    default:
        throw PushNotificationError::noAPNSToken();
    }
}

QCoro::Task<> PushNotificationManager::expireWait(quint64 wait)
{
    QPointer<PushNotificationManager> self(this);
    Sleeper &sleeper = m_services.sleeper ? *m_services.sleeper : Sleeper::system();
    co_await sleeper.sleep(TokenTimeout);
    // Only this wait: a later one has its own time-out.
    if (self && m_pendingWait == wait) {
        endWait(QString(), static_cast<int>(PushNotificationError::Case::NoAPNSToken));
    }
}

QCoro::Task<bool> PushNotificationManager::registerSilentPushToken(bool isSignedIn, DeviceService &deviceService)
{
    if (!m_apnsToken) {
        co_return false;
    }
    if (!isSignedIn) {
        print(QStringLiteral("Silent push registration deferred - not ready yet"));
        co_return false;
    }
    // A switch-off whose backend call failed must not be undone by this registration.
    std::optional<bool> pushEnabled;
    if (defaults().contains(PushEnabledKey) && !defaults().boolValue(PushEnabledKey)) {
        pushEnabled = false;
    }
    try {
        co_await deviceService.registerPushToken(*m_apnsToken, pushEnabled);
    } catch (const std::exception &error) {
        print(QStringLiteral("Failed to register APNS token: ") + errorDescription(error));
        co_return false;
    }
    print(QStringLiteral("APNS token registered with backend (silent push) ✓"));
    co_return true;
}

} // namespace plimsy
