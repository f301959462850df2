#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace kestrix {

class KestrixClient;

// Notices when the GUI thread stays busy longer than the configured threshold: a watchdog thread
// posts a heartbeat to the GUI thread and waits for its answer. No answer in time is a hang (the
// client records it); the late answer ends it.
class KXAppHangDetector
{
public:
    KXAppHangDetector() = default;
    // Stops the watchdog.
    ~KXAppHangDetector();

    // GUI thread. Does nothing unless hangs are enabled, and never under the test harness.
    void start(KestrixClient *client);
    void stop();

    static constexpr const char *ThreadName = "kx-hang-watch";

private:
    void watch();
    bool waitForAnswer(uint64_t heartbeat, const std::chrono::steady_clock::time_point *deadline);
    void reportHang();

    KestrixClient *m_client = nullptr;
    std::chrono::milliseconds m_threshold{2000};
    std::unique_ptr<QObject> m_heartbeatTarget;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_answered = 0;
    bool m_shouldStop = false;
    std::thread m_thread;
};

} // namespace kestrix
