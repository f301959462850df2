#pragma once

#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace plimsy {

class Clock;

// The boolean user default that callers test before writing progress lines; the logger has no gate.
inline constexpr QLatin1String VerboseLoggingKey{"verboseLogging"};

// Daily log files, one per category: "<category>_yyyy_MM_dd.log" holding "[yyyy-MM-dd HH:mm:ss] message"
// lines. Every call returns at once; the file work runs in call order on the logger's own writer thread.
// Failures of the file system are never reported to the caller.
class Logger
{
public:
    // The process-wide logger writing into AppPaths::applicationDirectory(); never destroyed. Its writer
    // finishes when the application object goes (or at exit without one), before the statics it uses.
    static Logger &shared();

    // `directoryOverride`: the folder to write into instead of the application folder. The clock is read
    // on the writer thread, when a line is written.
    explicit Logger(std::optional<QString> directoryOverride = std::nullopt, const Clock *clock = nullptr);

    // Lines still queued are dropped.
    ~Logger();

    // Queues one line for today's file of the category (a file named by the date alone when the category
    // is absent). An absent message does nothing.
    void log(const std::optional<QString> &message, const std::optional<QString> &category);

    // The folder of the log files, created (0700) if missing; absent when it cannot be had.
    std::optional<QString> logDirectory() const;

    // Queues the removal of the log files in the folder. Other files and sub-folders are left alone.
    void clearLogs();

    // Waits until everything queued before the call has run.
    void flush();

    // Writes what is queued, then ends the writer thread; later lines are dropped.
    void finish();

    // "Plimsy_2026_12_08.log" for the category and the local date of `when`.
    static QString logFileName(const std::optional<QString> &category, const QDateTime &when);

private:
    void enqueue(std::function<void()> work);
    void runQueue();
    void write(const QString &line, const std::optional<QString> &category, const QDateTime &now);
    void removeLogFiles();
    QDateTime now() const;

    const std::optional<QString> m_directoryOverride;
    const Clock *m_clock;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_queue;
    std::uint64_t m_submitted = 0;
    std::uint64_t m_completed = 0;
    bool m_stopping = false;
    std::thread m_writer; // started with the first queued work, joined by the destructor

    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;
};

// Writes one line to the shared logger's "Plimsy" file. Callable from any thread.
void log(const QString &message);

// Writes one line to standard output, never to the log files: the traces that the design prints.
// Nothing secret may pass through it.
void printLine(const QString &line);

// From now on Qt's warnings, critical and fatal messages (Qt's own and those of our logging categories)
// also go to the "Plimsy" file, as "[category] message"; every message still reaches the handler that
// was installed before. Returns that handler.
QtMessageHandler routeQtMessagesToLog();

} // namespace plimsy
