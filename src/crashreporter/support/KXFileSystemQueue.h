#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrix {

// The crash reporter's one serial queue for file work ("com.kestrix.filesystem"): writes and
// deletions run on it in the order they were queued, off the caller's thread.
class KXFileSystemQueue
{
public:
    // Made once; its thread lives as long as the process.
    static KXFileSystemQueue &shared();

    void async(std::function<void()> work);
    // Returns once everything queued before the call has run.
    void waitUntilIdle();

    // Writes `data` through a temporary file that only the owner may read (0600) and renames it
    // over `path`, so readers see the old content or the new one whole.
    static bool writeFile(const QString &path, const QByteArray &data, QString *error = nullptr);

private:
    KXFileSystemQueue();
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_work;
    bool m_isRunning = false;
    std::thread m_thread;

    KXFileSystemQueue(const KXFileSystemQueue &) = delete;
    KXFileSystemQueue &operator=(const KXFileSystemQueue &) = delete;
};

} // namespace kestrix
