#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace plimsy {

// This device at the account backend: its push token and the webhook address for deploy notices.
class DeviceService
{
public:
    virtual ~DeviceService() = default;

    // `pushEnabled` absent keeps the backend's setting. Throws DeviceError; transfer failures pass
    // through as NetworkError.
    virtual QCoro::Task<> registerPushToken(QString token, std::optional<bool> pushEnabled) = 0;

    // Throws DeviceError.
    virtual QCoro::Task<> unregisterPushToken() = 0;

    // The address to install as a Forge webhook; fetched once per signed-in session. Throws DeviceError.
    virtual QCoro::Task<QString> connectForge() = 0;
};

} // namespace plimsy
