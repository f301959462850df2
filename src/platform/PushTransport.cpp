#include "platform/PushTransport.h"

#include <QTimer>

#include <stdexcept>

namespace plimsy {

namespace {

const QString UnavailableReason = QStringLiteral("Push notifications are not available on Linux");

// No desktop push service exists on Linux: registration fails at once.
class UnavailablePushTransport final : public PushTransport
{
public:
    bool isAvailable() const override { return false; }
    QString unavailableReason() const override { return UnavailableReason; }
    QCoro::Task<bool> requestAuthorization() override
    {
        throw std::runtime_error(UnavailableReason.toStdString());
        co_return false;
    }
    void registerForRemoteNotifications() override
    {
        // Later, like a real registration, so that callers connect first.
        QTimer::singleShot(0, this, [this] { Q_EMIT registrationFailed(UnavailableReason); });
    }
    void unregisterForRemoteNotifications() override {}
};

} // namespace

PushTransport::PushTransport(QObject *parent)
    : QObject(parent)
{
}

PushTransport &PushTransport::system()
{
    static auto *s_transport = new UnavailablePushTransport;
    return *s_transport;
}

} // namespace plimsy
