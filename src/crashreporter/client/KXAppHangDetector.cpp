#include "crashreporter/client/KXAppHangDetector.h"

#include "crashreporter/client/KestrixClient.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KX_SystemInfo.h"

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
    if (!configuration.enabledErrorTypes.appHangs || qEnvironmentVariableIsSet("PLIMSY_TEST_HARNESS")) {
        return;
    }
    const uint64_t millis = configuration.appHangThresholdMillis();
    m_threshold = std::chrono::milliseconds(millis == 0x7FFFFFFF ? 2000 : static_cast<int64_t>(millis));
    m_client = client;
    m_heartbeatTarget = std::make_unique<QObject>();
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
    m_heartbeatTarget.reset();
}

bool KXAppHangDetector::waitForAnswer(uint64_t heartbeat, const std::chrono::steady_clock::time_point *deadline)
{
    std::unique_lock lock(m_mutex);
    const auto answered = [&] { return m_shouldStop || m_answered >= heartbeat; };
    if (deadline == nullptr) {
        m_changed.wait(lock, answered);
        return true;
    }
    return m_changed.wait_until(lock, *deadline, answered);
}

void KXAppHangDetector::watch()
{
    pthread_setname_np(pthread_self(), ThreadName);
    uint64_t heartbeat = 0;
    for (;;) {
        {
            std::lock_guard lock(m_mutex);
            if (m_shouldStop) {
                return;
            }
        }
        ++heartbeat;
        const auto sent = std::chrono::steady_clock::now();
        const auto deadline = sent + m_threshold;
        const int64_t bootMark = clockNanoseconds(CLOCK_BOOTTIME);
        const int64_t monotonicMark = clockNanoseconds(CLOCK_MONOTONIC);
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

        if (waitForAnswer(heartbeat, &deadline)) {
            // One heartbeat per threshold: a quiet thread costs next to nothing.
            std::unique_lock lock(m_mutex);
            m_changed.wait_until(lock, deadline, [this] { return m_shouldStop; });
            continue;
        }
        // A wake-up well past the deadline means a suspended machine, not a busy GUI thread.
        const bool suspended = suspendedNanosecondsSince(bootMark, monotonicMark) > 1'000'000'000
                               || std::chrono::steady_clock::now() - deadline > std::chrono::seconds(1);
        const KXRunContextData *context = kxrunContext();
        const bool foreground = context != nullptr && __atomic_load_n(&context->isForeground, __ATOMIC_RELAXED);
        if (!suspended && (foreground || m_client->configuration().reportBackgroundAppHangs)) {
            reportHang();
            waitForAnswer(heartbeat, nullptr);
            kxLogInfo(QStringLiteral("App hang has ended"));
            m_client->appHangEnded();
        } else {
            waitForAnswer(heartbeat, nullptr);
        }
    }
}

void KXAppHangDetector::reportHang()
{
    kxLogInfo(QStringLiteral("App hang detected"));
    const QDateTime date = QDateTime::currentDateTimeUtc();
    const QJsonObject systemInfo = KX_SystemInfo::systemInfo();
    std::vector<KestrixThread> threads;
    if (m_client->configuration().sendThreads == KestrixThreadSendPolicy::Always) {
        threads = KestrixThread::allThreadsFromMainThread();
    } else if (auto main = KestrixThread::mainThread()) {
        threads.push_back(std::move(*main));
    }
    m_client->appHangDetected(date, threads, systemInfo);
}

} // namespace kestrix
