#pragma once

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

namespace plimsy {

class HttpSession;
class UserDefaults;

// What the legacy push relay answered to a device registration.
struct TollixAnswer
{
    // The HTTP status, when a response arrived.
    std::optional<int> statusCode;
    // The relay's identifier of this device, from a 200 answer.
    std::optional<QString> deviceId;
    std::optional<QString> error;
};

// The client of the legacy push relay: registers this device's push token under the user's relay key.
// GUI thread.
class TollixAPIController
{
public:
    // `baseURL` ends in "/api/v2/". The session and the defaults must outlive every call.
    TollixAPIController(QString baseURL, QString APIKey, HttpSession &session, UserDefaults &defaults);

    // None when no request address can be formed. A "device_id" answered is stored under "deviceID".
    QCoro::Task<std::optional<TollixAnswer>> registerDevice(QString uuid, QString token, QString name) const;

private:
    QString m_baseURL;
    QString m_APIKey;
    HttpSession &m_session;
    UserDefaults &m_defaults;
};

} // namespace plimsy
