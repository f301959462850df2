#include "platform/Clock.h"

#include <QCoro/QCoroTimer>

namespace plimsy {

namespace {

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class TimerSleeper final : public Sleeper
{
public:
    QCoro::Task<> sleep(std::chrono::milliseconds duration) override { co_await QCoro::sleepFor(duration); }
};

} // namespace

Clock &Clock::system()
{
    static SystemClock s_clock;
    return s_clock;
}

Sleeper &Sleeper::system()
{
    static TimerSleeper s_sleeper;
    return s_sleeper;
}

} // namespace plimsy
