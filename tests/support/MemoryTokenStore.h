#pragma once

#include "account/TokenStore.h"

#include <optional>

namespace plimsy::test {

// A token store in memory, for tests of the code that only reads the token.
class MemoryTokenStore final : public TokenStore
{
public:
    std::optional<QString> token;
    std::optional<QString> device;

    std::optional<QString> accessToken() override { return token; }
    bool setAccessToken(std::optional<QString> value) override
    {
        token = std::move(value);
        return true;
    }
    std::optional<QString> deviceId() override { return device; }
    bool setDeviceId(std::optional<QString> value) override
    {
        device = std::move(value);
        return true;
    }
    bool clear() override
    {
        token.reset();
        device.reset();
        return true;
    }
};

} // namespace plimsy::test
