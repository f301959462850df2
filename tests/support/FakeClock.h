#pragma once

#include "platform/Clock.h"

#include <QCoro/QCoroSignal>
#include <QCoro/QCoroTimer>
#include <QDateTime>
#include <QList>
#include <QObject>

#include <chrono>

namespace plimsy::test {

// A clock that moves only when told to.
class FakeClock final : public QObject, public Clock
{
    Q_OBJECT

public:
    explicit FakeClock(QDateTime start = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC),
                       QObject *parent = nullptr)
        : QObject(parent)
        , m_now(std::move(start))
    {
    }

    QDateTime now() const override { return m_now; }
    void set(QDateTime now)
    {
        m_now = std::move(now);
        Q_EMIT advanced();
    }
    void advance(std::chrono::milliseconds by) { set(m_now.addMSecs(by.count())); }

Q_SIGNALS:
    void advanced();

private:
    QDateTime m_now;
};

// A sleeper that records every requested pause. In automatic mode (the default) a pause advances the
// clock by its length and resumes on the next turn of the event loop; in manual mode it resumes once
// the test has advanced the clock past its end.
class FakeSleeper final : public QObject, public Sleeper
{
    Q_OBJECT

public:
    explicit FakeSleeper(FakeClock &clock, QObject *parent = nullptr)
        : QObject(parent)
        , m_clock(clock)
    {
    }

    void setManual(bool manual) { m_manual = manual; }
    QList<std::chrono::milliseconds> requested() const { return m_requested; }
    std::chrono::milliseconds total() const
    {
        std::chrono::milliseconds sum{0};
        for (const auto d : m_requested) {
            sum += d;
        }
        return sum;
    }
    int pending() const { return m_pending; }

    QCoro::Task<> sleep(std::chrono::milliseconds duration) override
    {
        m_requested.append(duration);
        const QDateTime end = m_clock.now().addMSecs(duration.count());
        if (!m_manual) {
            m_clock.set(end);
            co_await QCoro::sleepFor(std::chrono::milliseconds{0});
            co_return;
        }
        ++m_pending;
        Q_EMIT sleepStarted();
        while (m_clock.now() < end) {
            co_await qCoro(&m_clock, &FakeClock::advanced);
        }
        --m_pending;
    }

Q_SIGNALS:
    void sleepStarted();

private:
    FakeClock &m_clock;
    bool m_manual = false;
    int m_pending = 0;
    QList<std::chrono::milliseconds> m_requested;
};

} // namespace plimsy::test
