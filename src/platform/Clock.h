#pragma once

#include <QCoro/QCoroTask>
#include <QDateTime>

#include <chrono>

namespace plimsy {

// Wall-clock time, injectable so tests of time rules need no waiting.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;

    static Clock &system();
};

// Pauses a coroutine; tests pass a fake that returns at once and advances their clock.
class Sleeper
{
public:
    virtual ~Sleeper() = default;
    virtual QCoro::Task<> sleep(std::chrono::milliseconds duration) = 0;

    static Sleeper &system();
};

} // namespace plimsy
