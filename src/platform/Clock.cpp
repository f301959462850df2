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

// Never destroyed: threads still running while the process exits (the logger's writer) may read them.
Clock &Clock::system()
{
    static auto *s_clock = new SystemClock;
    return *s_clock;
}

Sleeper &Sleeper::system()
{
    static auto *s_sleeper = new TimerSleeper;
    return *s_sleeper;
}

} // namespace plimsy
