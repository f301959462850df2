#pragma once

#include <QString>

#include <optional>

namespace plimsy {

// Where the account backend's access token lives. GUI thread only.
class TokenStore
{
public:
    virtual ~TokenStore() = default;

    virtual std::optional<QString> accessToken() = 0;
    virtual void setAccessToken(std::optional<QString> token) = 0;
    virtual std::optional<QString> deviceId() = 0;
    virtual void setDeviceId(std::optional<QString> deviceId) = 0;
    // Forgets both.
    virtual void clear() = 0;
};

} // namespace plimsy
