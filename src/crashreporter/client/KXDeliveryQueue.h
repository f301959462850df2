#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QThread>
#include <QUrl>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

class QNetworkAccessManager;

namespace kestrix {

// What became of a delivery: sent, failed but worth another try, or failed for good.
enum class KXDeliveryStatus
{
    Delivered = 0,
    Failed = 1,
    Undeliverable = 2,
};

using KXHeaderList = QList<std::pair<QByteArray, QByteArray>>;

// The crash reporter's worker thread: runs its jobs one at a time, in the order they came, each
// free to make blocking HTTP requests through post(). Scans, uploads and session sends run here.
class KXDeliveryQueue : public QThread
{
public:
    explicit KXDeliveryQueue(const QString &name);
    // Runs nothing more and waits for the job in hand.
    ~KXDeliveryQueue() override;

    void async(std::function<void()> job);
    // Runs the job after `delay`, queued behind whatever is waiting then.
    void asyncAfter(std::chrono::milliseconds delay, std::function<void()> job);
    // Jobs waiting, not counting the one running.
    size_t pendingCount() const;
    // Until everything queued before the call has run, or the time is up; false then.
    bool waitUntilIdle(std::chrono::milliseconds limit);
    bool isCurrent() const;
    // At quit: drops what waits, cuts the request in hand short and lets the job finish, for at most
    // `limit`. The thread must not outlive the application object.
    void shutDown(std::chrono::milliseconds limit);

    // POSTs `body` with "Content-Type", "Kestrix-Integrity", "Kestrix-Sent-At" and then `headers`.
    // Only on this queue's thread. 2xx delivers; 4xx but 402, 407, 408 and 429 is undeliverable;
    // every other answer, no answer or a time-out is worth another try. `error` names the failure.
    KXDeliveryStatus
    post(const QUrl &url, const QByteArray &body, const KXHeaderList &headers, QString *error = nullptr);

    // How long a request may take; 15 s unless a test shortens it.
    static void setRequestTimeout(std::chrono::milliseconds timeout);

protected:
    void run() override;

private:
    void moveDueJobs();
    std::chrono::steady_clock::time_point nextDeadline() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::pair<std::chrono::steady_clock::time_point, std::function<void()>>> m_delayed;
    bool m_busy = false;
    bool m_stopping = false;
    QNetworkAccessManager *m_network = nullptr;
    QObject *m_currentLoop = nullptr; // guarded by m_mutex
};

} // namespace kestrix
