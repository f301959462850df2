#pragma once

#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace kestrix {

class KestrixClient;

// Notices when the GUI thread spends longer than the configured threshold on one pass of its event
// loop. The GUI thread stamps the start of each pass; a watchdog thread posts it a
// heartbeat every half threshold. A heartbeat left waiting means the GUI thread is inside one pass:
// once that pass is older than the threshold it is a hang (the client records it, with the pass's
// start), and the heartbeat's late answer ends it.
class KXAppHangDetector
{
public:
    KXAppHangDetector() = default;
    // Stops the watchdog.
    ~KXAppHangDetector();

    // GUI thread. Does nothing unless hangs are enabled, and never under the test harness.
    void start(KestrixClient *client);
    // GUI thread.
    void stop();

    static constexpr const char *ThreadName = "kx-hang-watch";
    // The object name of the GUI-thread receiver of the heartbeats.
    static constexpr const char *HeartbeatName = "kestrixHangHeartbeat";

private:
    using Clock = std::chrono::steady_clock;

    void watch();
    // Follows a heartbeat left waiting until it is answered, reporting the pass it waits behind once
    // that pass is older than the threshold.
    void watchWaitingHeartbeat(uint64_t heartbeat);
    // True when answered (or stopping) before the deadline; none waits without limit.
    bool waitForAnswer(uint64_t heartbeat, std::optional<Clock::time_point> deadline);
    bool shouldStop();
    void reportHang(Clock::time_point started);

    KestrixClient *m_client = nullptr;
    std::chrono::milliseconds m_threshold{2000};
    // Receives the heartbeats and, as the application's event filter, stamps each pass.
    std::unique_ptr<QObject> m_heartbeatTarget;
    // When the GUI thread began its current pass, in steady-clock ticks.
    std::atomic<Clock::rep> m_passStarted{0};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_answered = 0;
    bool m_shouldStop = false;
    std::thread m_thread;
};

} // namespace kestrix
