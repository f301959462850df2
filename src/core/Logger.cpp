#include "core/Logger.h"

#include "platform/AppPaths.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace plimsy {

namespace {

constexpr auto PrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Only names the logger itself makes: "<category>_yyyy_MM_dd.log" or "yyyy_MM_dd.log".
bool isLogFileName(const QString &name)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(.+_)?\d{4}_\d{2}_\d{2}\.log$)"));
    return pattern.match(name).hasMatch();
}

std::atomic<Logger *> s_sharedLogger{nullptr};

void finishSharedLogger()
{
    Logger::shared().finish();
}

} // namespace

Logger &Logger::shared()
{
    static Logger *s_shared = [] {
        auto *logger = new Logger();
        s_sharedLogger = logger;
        // Exit destroys statics in the reverse order they were made; the writer's first line makes Qt's
        // (locale, calendars, time zone), so they are made here, before the finish below is registered.
        (void)logFileName(std::nullopt, QDateTime::currentDateTime());
        // A writer still running once main returns would meet the clock and Qt's statics destroyed.
        qAddPostRoutine(finishSharedLogger);
        std::atexit(finishSharedLogger);
        return logger;
    }();
    return *s_shared;
}

Logger::Logger(std::optional<QString> directoryOverride, const Clock *clock)
    : m_directoryOverride(std::move(directoryOverride))
    , m_clock(clock ? clock : &Clock::system())
{
}

Logger::~Logger()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

void Logger::log(const std::optional<QString> &message, const std::optional<QString> &category)
{
    if (!message) {
        return;
    }
    enqueue([this, message = *message, category] {
        // The time stamp is taken when the line is written, as the file's date is.
        const QDateTime when = now();
        write(QLatin1Char('[') + when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("] ") + message,
              category,
              when);
    });
}

std::optional<QString> Logger::logDirectory() const
{
    if (m_directoryOverride) {
        AppPaths::ensurePrivateDirectory(*m_directoryOverride);
        return m_directoryOverride;
    }
    const QString folder = AppPaths::applicationDirectory();
    if (folder.isEmpty()) {
        return std::nullopt;
    }
    return folder;
}

void Logger::clearLogs()
{
    enqueue([this] { removeLogFiles(); });
}

void Logger::flush()
{
    std::unique_lock lock(m_mutex);
    if (m_writer.get_id() == std::this_thread::get_id()) {
        return; // queued work waiting for itself would never end
    }
    const std::uint64_t target = m_submitted;
    m_idle.wait(lock, [&] { return m_completed >= target || m_stopping; });
}

void Logger::finish()
{
    {
        std::unique_lock lock(m_mutex);
        if (m_writer.get_id() == std::this_thread::get_id()) {
            return;
        }
        m_idle.wait(lock, [&] { return m_completed >= m_submitted || m_stopping; });
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_writer.joinable()) {
        m_writer.join();
    }
}

QString Logger::logFileName(const std::optional<QString> &category, const QDateTime &when)
{
    const QString date = when.toLocalTime().toString(QStringLiteral("yyyy_MM_dd"));
    return category ? *category + QLatin1Char('_') + date + QStringLiteral(".log") : date + QStringLiteral(".log");
}

void Logger::enqueue(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            return;
        }
        m_queue.push_back(std::move(work));
        ++m_submitted;
        if (!m_writer.joinable()) {
            m_writer = std::thread([this] { runQueue(); });
        }
    }
    m_wake.notify_one();
}

void Logger::runQueue()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping) {
            break;
        }
        std::function<void()> work = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        work();
        if (m_completed == 0 && this == s_sharedLogger) {
            // Registered again once the first line has made every static it needs, so the finish runs
            // before any of them goes.
            std::atexit(finishSharedLogger);
        }
        lock.lock();
        ++m_completed;
        m_idle.notify_all();
    }
    m_idle.notify_all();
}

void Logger::write(const QString &line, const std::optional<QString> &category, const QDateTime &now)
{
    const std::optional<QString> folder = logDirectory();
    if (!folder) {
        return;
    }
    QFile file(QDir(*folder).filePath(logFileName(category, now)));
    // A new file is created owner-only; a failed open or write loses the line quietly.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, PrivateFile)) {
        return;
    }
    file.write((line + QLatin1Char('\n')).toUtf8());
}

void Logger::removeLogFiles()
{
    const std::optional<QString> folder = logDirectory();
    if (!folder) {
        return;
    }
    const QDir dir(*folder);
    if (!dir.exists()) {
        std::puts("No files");
        return;
    }
    const QFileInfoList entries = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (!isLogFileName(entry.fileName())) {
            continue;
        }
        if (!QFile::remove(entry.filePath())) {
            std::puts("Failed deleting item");
        }
    }
    std::fflush(stdout);
}

QDateTime Logger::now() const
{
    return m_clock->now().toLocalTime();
}

void log(const QString &message)
{
    Logger::shared().log(message, QStringLiteral("Plimsy"));
}

void printLine(const QString &line)
{
    std::fputs(qUtf8Printable(line + u'\n'), stdout);
    std::fflush(stdout);
}

namespace {

QtMessageHandler s_nextHandler = nullptr;

void logQtMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg) {
        const bool named = context.category && qstrcmp(context.category, "default") != 0;
        log(QLatin1Char('[') + (named ? QString::fromUtf8(context.category) : QStringLiteral("Qt"))
            + QStringLiteral("] ") + message);
        if (type == QtFatalMsg) {
            // The process ends next; let the line reach the file first.
            Logger::shared().flush();
        }
    }
    s_nextHandler(type, context, message);
}

} // namespace

QtMessageHandler routeQtMessagesToLog()
{
    s_nextHandler = qInstallMessageHandler(logQtMessage);
    return s_nextHandler;
}

} // namespace plimsy
