#pragma once

#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

#include <chrono>
#include <optional>

namespace plimsy {

class AuthService;
class DeviceService;
class PushTransport;
class Sleeper;
class UserDefaults;

// Switches remote notifications of deployment results on and off, and registers a known device token
// with the account backend. GUI thread. Where the platform has no push service (Linux), switching on
// fails at once with the transport's reason, storing nothing and calling no backend.
class PushNotificationManager : public QObject
{
    Q_OBJECT

public:
    // Every member left empty takes the process-wide default, looked up when first needed.
    struct Services
    {
        PushTransport *transport = nullptr;
        UserDefaults *defaults = nullptr;
        Sleeper *sleeper = nullptr;
        AuthService *authService = nullptr;
        DeviceService *deviceService = nullptr;
    };

    static constexpr std::chrono::milliseconds TokenTimeout{5000};
    static const QString PushEnabledKey;

    static PushNotificationManager &shared();

    explicit PushNotificationManager(Services services, QObject *parent = nullptr);

    // Whether push can work on this platform at all; when not, `unavailableReason` says why.
    bool isSupported() const;
    QString unavailableReason() const;

    // Throws PushNotificationError, the device service's DeviceError or a NetworkError.
    QCoro::Task<> enableNotifications();
    // Never throws: a failure at the backend is only printed.
    QCoro::Task<> disableNotifications();

    void didReceiveAPNSToken(const QString &token);
    // Ends a pending wait with PushNotificationError::cancelled().
    void cancelTokenWait();
    // The known token, or the next one within TokenTimeout. Overlapping callers share one wait and each
    // gets its result once. Throws PushNotificationError.
    QCoro::Task<QString> waitForAPNSToken();
    // True when a known token was registered with the backend.
    QCoro::Task<bool> registerSilentPushToken(bool isSignedIn, DeviceService &deviceService);

    std::optional<QString> apnsToken() const { return m_apnsToken; }

Q_SIGNALS:
    // The shared wait `wait` ended: with a token, or without one for `failure`.
    void tokenWaitEnded(quint64 wait, const QString &token, int failure, QPrivateSignal);

private:
    PushTransport &transport() const;
    UserDefaults &defaults() const;
    AuthService &authService() const;
    DeviceService &deviceService() const;
    QCoro::Task<> expireWait(quint64 wait);
    void endWait(const QString &token, int failure);

    Services m_services;
    std::optional<QString> m_apnsToken;
    // The wait in progress (0 when none); each new wait gets a new number so a time-out ends only its own.
    quint64 m_pendingWait = 0;
    quint64 m_lastWait = 0;

    Q_DISABLE_COPY_MOVE(PushNotificationManager)
};

} // namespace plimsy
