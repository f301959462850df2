#include "crashreporter/support/KXFileSystemQueue.h"

#include "crashreporter/support/KXLogger.h"

#include <QFile>

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>

namespace kestrix {

KXFileSystemQueue &KXFileSystemQueue::shared()
{
    // Never destroyed: work queued at exit must not meet a queue that is gone.
    static KXFileSystemQueue *queue = new KXFileSystemQueue();
    return *queue;
}

KXFileSystemQueue::KXFileSystemQueue()
    : m_thread([this] { run(); })
{
    m_thread.detach();
}

void KXFileSystemQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_work.push_back(std::move(work));
    }
    m_changed.notify_all();
}

void KXFileSystemQueue::waitUntilIdle()
{
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
    async([&] {
        std::lock_guard lock(doneMutex);
        done = true;
        doneChanged.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneChanged.wait(lock, [&] { return done; });
}

void KXFileSystemQueue::run()
{
    pthread_setname_np(pthread_self(), "kestrix-files");
    for (;;) {
        std::function<void()> work;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_work.empty(); });
            work = std::move(m_work.front());
            m_work.pop_front();
        }
        try {
            work();
        } catch (const std::exception &exception) {
            kxLogError(QStringLiteral("File operation failed: %1").arg(QString::fromUtf8(exception.what())));
        }
    }
}

bool KXFileSystemQueue::writeFile(const QString &path, const QByteArray &data, QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC); // mode 0600
    const auto fail = [&](int code) {
        if (error != nullptr) {
            *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(code)));
        }
        return false;
    };
    if (fd < 0) {
        return fail(errno);
    }
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, static_cast<size_t>(data.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            const int code = errno;
            close(fd);
            unlink(temporary.constData());
            return fail(code);
        }
        written += n;
    }
    if (close(fd) != 0 || rename(temporary.constData(), target.constData()) != 0) {
        const int code = errno;
        unlink(temporary.constData());
        return fail(code);
    }
    return true;
}

} // namespace kestrix
