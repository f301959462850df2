#include "crashreporter/client/KXAppHangDetector.h"

#include "crashreporter/client/KestrixClient.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/support/KXLogger.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDateTime>
#include <QMetaObject>

#include <pthread.h>
#include <time.h>

namespace kestrix {

namespace {

int64_t clockNanoseconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Time the machine spent suspended since the marks were taken: the boot clock runs on, the
// monotonic one stops.
int64_t suspendedNanosecondsSince(int64_t bootMark, int64_t monotonicMark)
{
    return (clockNanoseconds(CLOCK_BOOTTIME) - bootMark) - (clockNanoseconds(CLOCK_MONOTONIC) - monotonicMark);
}

// As the application's event filter it stamps the start of each pass of the GUI thread's event
// loop: the first event delivered after the loop's dispatcher woke or was about to wait. Events sent
// from inside a handler (building a menu, a layout) belong to the pass that sends them, so a pass
// that keeps delivering them still ages. One clock read and a relaxed store per pass.
class KXPassClock : public QObject
{
public:
    explicit KXPassClock(std::atomic<std::chrono::steady_clock::rep> &passStarted)
        : m_passStarted(passStarted)
    {
        if (QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance()) {
            const auto passEnded = [this] { m_betweenPasses = true; };
            connect(dispatcher, &QAbstractEventDispatcher::awake, this, passEnded, Qt::DirectConnection);
            connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, passEnded, Qt::DirectConnection);
            m_tracksPasses = true;
        }
    }

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        if (m_betweenPasses) {
            m_passStarted.store(std::chrono::steady_clock::now().time_since_epoch().count(), std::memory_order_relaxed);
            m_betweenPasses = !m_tracksPasses; // without a dispatcher, every event is a pass
        }
        return false;
    }

private:
    std::atomic<std::chrono::steady_clock::rep> &m_passStarted;
    // GUI thread only.
    bool m_betweenPasses = true;
    bool m_tracksPasses = false;
};

} // namespace

KXAppHangDetector::~KXAppHangDetector()
{
    stop();
}

void KXAppHangDetector::start(KestrixClient *client)
{
    if (m_thread.joinable()) {
        kxLogError(QStringLiteral("Attempted to call %1 more than once")
                       .arg(QStringLiteral("-[KXAppHangDetector startWithDelegate:]")));
        return;
    }
    const KestrixConfiguration &configuration = client->configuration();
    QCoreApplication *application = QCoreApplication::instance();
    if (!configuration.enabledErrorTypes.appHangs || qEnvironmentVariableIsSet("PLIMSY_TEST_HARNESS")
        || application == nullptr) {
        return;
    }
    const uint64_t millis = configuration.appHangThresholdMillis();
    m_threshold = std::chrono::milliseconds(millis == 0x7FFFFFFF ? 2000 : static_cast<int64_t>(millis));
    m_client = client;
    // Start-up counts as a pass in progress.
    m_passStarted.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    m_heartbeatTarget = std::make_unique<KXPassClock>(m_passStarted);
    m_heartbeatTarget->setObjectName(QLatin1String(HeartbeatName));
    application->installEventFilter(m_heartbeatTarget.get());
    m_thread = std::thread([this] { watch(); });
}

void KXAppHangDetector::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_shouldStop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_heartbeatTarget.reset(); // also leaves the application's event filters
}

bool KXAppHangDetector::shouldStop()
{
    std::lock_guard lock(m_mutex);
    return m_shouldStop;
}

bool KXAppHangDetector::waitForAnswer(uint64_t heartbeat, std::optional<Clock::time_point> deadline)
{
    std::unique_lock lock(m_mutex);
    const auto answered = [&] { return m_shouldStop || m_answered >= heartbeat; };
    if (!deadline) {
        m_changed.wait(lock, answered);
        return true;
    }
    return m_changed.wait_until(lock, *deadline, answered);
}

void KXAppHangDetector::watch()
{
    pthread_setname_np(pthread_self(), ThreadName);
    // Two heartbeats per threshold: the one waiting was sent at most half a threshold after the
    // last answer, so a pass that outlasts the threshold always finds one waiting behind it.
    const auto period = m_threshold / 2;
    uint64_t heartbeat = 0;
    while (!shouldStop()) {
        ++heartbeat;
        const auto sent = Clock::now();
        QMetaObject::invokeMethod(
            m_heartbeatTarget.get(),
            [this, heartbeat] {
                {
                    std::lock_guard lock(m_mutex);
                    m_answered = heartbeat;
                }
                m_changed.notify_all();
            },
            Qt::QueuedConnection);
        if (!waitForAnswer(heartbeat, sent + period)) {
            watchWaitingHeartbeat(heartbeat);
            continue;
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait_until(lock, sent + period, [this] { return m_shouldStop; });
    }
}

void KXAppHangDetector::watchWaitingHeartbeat(uint64_t heartbeat)
{
    const auto passStarted = [this] {
        return Clock::time_point(Clock::duration(m_passStarted.load(std::memory_order_relaxed)));
    };
    for (;;) {
        const Clock::time_point started = passStarted();
        const Clock::time_point deadline = started + m_threshold;
        const int64_t bootMark = clockNanoseconds(CLOCK_BOOTTIME);
        const int64_t monotonicMark = clockNanoseconds(CLOCK_MONOTONIC);
        if (waitForAnswer(heartbeat, deadline)) {
            return;
        }
        if (passStarted() != started) {
            continue; // that pass ended in time; the heartbeat waits behind a later one
        }
        // A wake-up well past the deadline means a suspended machine or a stopped process, not a
        // busy GUI thread.
        const bool suspended = suspendedNanosecondsSince(bootMark, monotonicMark) > 1'000'000'000
                               || Clock::now() - deadline > std::chrono::seconds(1);
        const KXRunContextData *context = kxrunContext();
        const bool foreground = context != nullptr && __atomic_load_n(&context->isForeground, __ATOMIC_RELAXED);
        if (!suspended && (foreground || m_client->configuration().reportBackgroundAppHangs)) {
            reportHang(started);
            waitForAnswer(heartbeat, std::nullopt);
            kxLogInfo(QStringLiteral("App hang has ended"));
            m_client->appHangEnded();
        } else {
            waitForAnswer(heartbeat, std::nullopt);
        }
        return;
    }
}

void KXAppHangDetector::reportHang(Clock::time_point started)
{
    kxLogInfo(QStringLiteral("App hang detected"));
    // The hang is dated from the start of the pass that hangs, not from when it was noticed.
    const auto age = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    const QDateTime date = QDateTime::currentDateTimeUtc().addMSecs(-age.count());
    const QJsonObject systemInfo = KestrixClient::currentSystemInfo();
    std::vector<KestrixThread> threads;
    if (m_client->configuration().sendThreads == KestrixThreadSendPolicy::Always) {
        threads = KestrixThread::allThreadsFromMainThread();
    } else if (auto main = KestrixThread::mainThread()) {
        threads.push_back(std::move(*main));
    }
    m_client->appHangDetected(date, threads, systemInfo);
}

} // namespace kestrix
