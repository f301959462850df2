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
    // The writes answer whether the change reached the secret store; when it did not, it holds for this
    // run only and the next launch finds what was stored before.
    virtual bool setAccessToken(std::optional<QString> token) = 0;
    virtual std::optional<QString> deviceId() = 0;
    virtual bool setDeviceId(std::optional<QString> deviceId) = 0;
    // Forgets both.
    virtual bool clear() = 0;
    // Whether the last look at the stored record failed (a locked or unreachable secret store), so that
    // "no token" is not known to mean "signed out". Reads nothing itself.
    virtual bool isUnavailable() const { return false; }
};

} // namespace plimsy
