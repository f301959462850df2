#pragma once

#include <QByteArray>
#include <QCoro/QCoroTask>
#include <QObject>
#include <QString>

namespace plimsy {

// The system's remote-notification service: permission to show notices, registration and the device
// token. Linux has none: the system transport says so and never makes up a token.
class PushTransport : public QObject
{
    Q_OBJECT

public:
    explicit PushTransport(QObject *parent = nullptr);

    // Whether remote notifications can reach this device at all; when not, `unavailableReason` says why.
    virtual bool isAvailable() const = 0;
    virtual QString unavailableReason() const = 0;
    // Asks the user to allow notices; resolves with the answer. Throws std::exception on a failed request.
    virtual QCoro::Task<bool> requestAuthorization() = 0;
    // Asks for a device token: `tokenReceived` or `registrationFailed` follows.
    virtual void registerForRemoteNotifications() = 0;
    virtual void unregisterForRemoteNotifications() = 0;

    // The process-wide transport of this platform.
    static PushTransport &system();

Q_SIGNALS:
    void tokenReceived(const QByteArray &deviceToken);
    void registrationFailed(const QString &reason);

private:
    Q_DISABLE_COPY_MOVE(PushTransport)
};

} // namespace plimsy
