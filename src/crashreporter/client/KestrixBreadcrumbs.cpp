#include "crashreporter/client/KestrixBreadcrumbs.h"

#include "crashreporter/support/KXFileSystemQueue.h"
#include "crashreporter/support/KXFilesystem.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

namespace kestrix {

namespace {

// One block: the link, then the breadcrumb's JSON and a terminating zero.
struct Node
{
    std::atomic<Node *> next;
    char *json() { return reinterpret_cast<char *>(this + 1); }
};

// One list for the process: the crash-time writer knows no store.
std::mutex s_lock;
std::atomic<Node *> s_head{nullptr};
Node *s_tail = nullptr; // under s_lock
std::atomic<bool> s_crashWriterReading{false};

void waitForCrashWriter()
{
    while (s_crashWriterReading.load()) {
        std::this_thread::yield();
    }
}

void freeList(Node *node)
{
    while (node != nullptr) {
        Node *next = node->next.load();
        free(node);
        node = next;
    }
}

std::optional<KestrixBreadcrumb> parse(const QByteArray &data, const QString &source)
{
    QString error;
    const auto object = KXJSONSerialization::objectFromData(data, &error);
    if (!object) {
        kxLogError(QStringLiteral("Unable to parse breadcrumb: %1").arg(error));
        return std::nullopt;
    }
    auto breadcrumb = KestrixBreadcrumb::fromDict(*object);
    if (!breadcrumb) {
        kxLogError(source.isEmpty() ? QStringLiteral("Unexpected breadcrumb payload in buffer")
                                    : QStringLiteral("Unexpected breadcrumb payload in file %1").arg(source));
    }
    return breadcrumb;
}

} // namespace

struct KestrixBreadcrumbs::State
{
    uint32_t nextFileNumber = 0; // under s_lock
    uint32_t maxBreadcrumbs = 0;
    QString path;
};

KestrixBreadcrumbs::KestrixBreadcrumbs(const KestrixConfiguration &config, const QString &breadcrumbsPath)
    : m_state(std::make_shared<State>())
    , m_onBreadcrumb(config.onBreadcrumbBlocks)
    , m_writeToDisk(config.enabledErrorTypes.ooms || config.enabledErrorTypes.thermalKills)
{
    m_state->maxBreadcrumbs = static_cast<uint32_t>(config.maxBreadcrumbs());
    m_state->path = breadcrumbsPath;
}

void KestrixBreadcrumbs::addBreadcrumb(KestrixBreadcrumb breadcrumb)
{
    if (m_state->maxBreadcrumbs == 0 || !breadcrumb.isValid() || !shouldSendBreadcrumb(breadcrumb)) {
        return;
    }
    if (const auto data = dataForBreadcrumb(breadcrumb)) {
        addBreadcrumbWithData(*data, shouldWriteToDisk());
    }
}

void KestrixBreadcrumbs::addBreadcrumbWithData(const QByteArray &json, bool writeToDisk)
{
    void *block = calloc(1, sizeof(Node) + static_cast<size_t>(json.size()) + 1);
    if (block == nullptr) {
        return;
    }
    auto *node = new (block) Node{{nullptr}};
    memcpy(node->json(), json.constData(), static_cast<size_t>(json.size()));

    std::lock_guard lock(s_lock);
    const uint32_t number = m_state->nextFileNumber++;
    const uint32_t max = m_state->maxBreadcrumbs;
    const bool drop = number >= max;
    // The oldest goes before the newest comes, so a crash in between never finds more than max.
    if (drop && s_head.load() != nullptr) {
        Node *oldest = s_head.load();
        s_head.store(oldest->next.load());
        if (s_tail == oldest) {
            s_tail = nullptr;
        }
        waitForCrashWriter();
        free(oldest);
    }
    if (s_tail == nullptr) {
        s_head.store(node);
    } else {
        s_tail->next.store(node);
    }
    s_tail = node;

    if (!writeToDisk) {
        return;
    }
    // Queued under the lock, so the files are written in number order.
    KXFileSystemQueue::shared().async([state = m_state, path = pathForFileNumber(number), number, json, drop] {
        uint32_t next = 0;
        uint32_t window = 0;
        {
            std::lock_guard lock(s_lock);
            next = state->nextFileNumber;
            window = state->maxBreadcrumbs;
        }
        if (next > window && number < next - window) {
            return; // already left the window
        }
        QString error;
        if (!KXFileSystemQueue::writeFile(path, json, &error)) {
            kxLogError(QStringLiteral("Unable to write breadcrumb: %1").arg(error));
        }
        if (drop && number >= window) {
            QFile old(QDir(state->path).filePath(QStringLiteral("%1.json").arg(number - window)));
            if (!old.remove() && old.exists()) {
                kxLogError(QStringLiteral("Unable to delete old breadcrumb: %1").arg(old.errorString()));
            }
        }
    });
}

std::vector<KestrixBreadcrumb> KestrixBreadcrumbs::breadcrumbs() const
{
    std::vector<KestrixBreadcrumb> result;
    std::lock_guard lock(s_lock);
    for (Node *node = s_head.load(); node != nullptr; node = node->next.load()) {
        if (auto breadcrumb = parse(QByteArray(node->json()), QString())) {
            result.push_back(std::move(*breadcrumb));
        }
    }
    return result;
}

std::vector<KestrixBreadcrumb> KestrixBreadcrumbs::breadcrumbsBeforeDate(const QDateTime &date) const
{
    const QString limit = KX_RFC3339DateTool::stringFromDate(date);
    std::vector<KestrixBreadcrumb> result = breadcrumbs();
    std::erase_if(result, [&limit](const KestrixBreadcrumb &breadcrumb) {
        return breadcrumb.timestampString().value_or(QString()) > limit;
    });
    return result;
}

void KestrixBreadcrumbs::removeAllBreadcrumbs()
{
    {
        std::lock_guard lock(s_lock);
        Node *list = s_head.exchange(nullptr);
        s_tail = nullptr;
        m_state->nextFileNumber = 0;
        waitForCrashWriter();
        freeList(list);
    }
    KXFileSystemQueue::shared().async([path = m_state->path] {
        if (QDir(path).removeRecursively()) {
            KXFilesystem::makePrivateDirectory(path);
        }
    });
}

std::vector<KestrixBreadcrumb> KestrixBreadcrumbs::cachedBreadcrumbs() const
{
    const QDir directory(m_state->path);
    if (!directory.exists()) {
        kxLogError(QStringLiteral("Unable to read breadcrumbs: %1 does not exist").arg(m_state->path));
        return {};
    }
    QStringList names = directory.entryList(QDir::Files | QDir::Hidden);
    names.removeIf([](const QString &name) {
        return name.startsWith(QLatin1Char('.')) || !name.endsWith(QLatin1String(".json"));
    });
    std::stable_sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.section(QLatin1Char('.'), 0, 0).toLongLong() < b.section(QLatin1Char('.'), 0, 0).toLongLong();
    });
    std::vector<KestrixBreadcrumb> result;
    for (const QString &name : names) {
        QFile file(directory.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            if (file.exists()) {
                kxLogError(QStringLiteral("Unable to read breadcrumb: %1").arg(file.errorString()));
            }
            continue;
        }
        if (auto breadcrumb = parse(file.readAll(), name)) {
            result.push_back(std::move(*breadcrumb));
        }
    }
    return result;
}

bool KestrixBreadcrumbs::shouldSendBreadcrumb(KestrixBreadcrumb &breadcrumb) const
{
    for (const auto &callback : m_onBreadcrumb->callbacks()) {
        try {
            if (!callback(breadcrumb)) {
                return false;
            }
        } catch (const std::exception &exception) {
            kxLogError(QStringLiteral("Error from onBreadcrumb callback: %1").arg(QString::fromUtf8(exception.what())));
        } catch (...) {
            kxLogError(QStringLiteral("Error from onBreadcrumb callback: unknown exception"));
        }
    }
    return true;
}

bool KestrixBreadcrumbs::shouldWriteToDisk() const
{
    return m_writeToDisk;
}

std::optional<QByteArray> KestrixBreadcrumbs::dataForBreadcrumb(const KestrixBreadcrumb &breadcrumb)
{
    KXJSONWriter writer(256);
    if (!breadcrumb.writeJson(writer)) {
        kxLogError(QStringLiteral("Unable to serialize breadcrumb: it has no message or timestamp"));
        return std::nullopt;
    }
    return writer.data();
}

QString KestrixBreadcrumbs::pathForFileNumber(uint32_t number) const
{
    return QDir(m_state->path).filePath(QStringLiteral("%1.json").arg(number));
}

void KestrixBreadcrumbs::writeCrashTime(const KXCrashReportWriter *writer)
{
    s_crashWriterReading.store(true);
    writer->beginArray(writer, "breadcrumbs");
    for (Node *node = s_head.load(); node != nullptr; node = node->next.load()) {
        writer->addJSONElement(writer, nullptr, node->json());
    }
    writer->endContainer(writer);
    s_crashWriterReading.store(false);
}

} // namespace kestrix
