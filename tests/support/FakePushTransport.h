#pragma once

#include "platform/PushTransport.h"

#include <QCoro/QCoroSignal>

#include <optional>
#include <stdexcept>

namespace plimsy::test {

// A push service that exists: the permission answer is scripted (held until `answerPermission` when
// none is set), registrations are counted, and the device token comes when the test hands it to the
// push manager, as the application shell would.
class FakePushTransport final : public PushTransport
{
    Q_OBJECT

public:
    // What the next permission requests answer; none holds them until `answerPermission`.
    std::optional<bool> permission = true;
    // The permission request itself fails.
    bool permissionFails = false;
    int registrations = 0;
    int unregistrations = 0;

    bool isAvailable() const override { return true; }
    QString unavailableReason() const override { return {}; }
    QCoro::Task<bool> requestAuthorization() override
    {
        if (permissionFails) {
            throw std::runtime_error("The permission request failed");
        }
        if (permission) {
            co_return *permission;
        }
        co_return co_await qCoro(this, &FakePushTransport::permissionAnswered);
    }
    void registerForRemoteNotifications() override { ++registrations; }
    void unregisterForRemoteNotifications() override { ++unregistrations; }

    void answerPermission(bool granted) { Q_EMIT permissionAnswered(granted); }

Q_SIGNALS:
    void permissionAnswered(bool granted);
};

} // namespace plimsy::test
