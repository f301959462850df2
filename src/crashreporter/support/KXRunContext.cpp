#include "crashreporter/support/KXRunContext.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/support/KXLogger.h"
#include "platform/BundleInfo.h"
#include "platform/NotificationCenter.h"

#include <QDateTime>
#include <QFile>
#include <QObject>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

namespace kestrix {

namespace {

constexpr auto RefreshInterval = std::chrono::milliseconds(500);
// Seconds from 1970 to 2001, the epoch of the stored times.
constexpr double AbsoluteTimeEpoch = 978307200.0;

KXRunContextData s_inMemory;
KXRunContextData s_previous;
bool s_hasPrevious = false;

uint64_t bootTimeMicroseconds()
{
    QFile file(QStringLiteral("/proc/stat"));
    if (!file.open(QIODevice::ReadOnly)) {
        return 0;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine();
        if (line.startsWith("btime ")) {
            return line.mid(6).trimmed().toULongLong() * 1000000ULL;
        }
    }
    return 0;
}

void setFlag(bool *field, bool value)
{
    __atomic_store_n(field, value, __ATOMIC_RELAXED);
}

// Keeps the time and memory figures current while the process lives.
void startRefreshing()
{
    static std::jthread refresher([](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, RefreshInterval, [&stop] { return stop.stop_requested(); })) {
            KXRunContext::updateTimestamp();
            kxrunContextRefreshMemory(kxrunContext());
        }
    });
}

void observeApplicationState()
{
    static QObject context;
    auto &center = plimsy::NotificationCenter::defaultCenter();
    center.addObserver(QStringLiteral("NSApplicationDidBecomeActiveNotification"), &context, [](const auto &) {
        setFlag(&kxrunContext()->isForeground, true);
        setFlag(&kxrunContext()->isActive, true);
        KXRunContext::updateTimestamp();
    });
    center.addObserver(QStringLiteral("NSApplicationDidResignActiveNotification"), &context, [](const auto &) {
        setFlag(&kxrunContext()->isForeground, false);
        setFlag(&kxrunContext()->isActive, false);
        KXRunContext::updateTimestamp();
    });
    center.addObserver(QStringLiteral("NSApplicationWillTerminateNotification"), &context, [](const auto &) {
        setFlag(&kxrunContext()->isTerminating, true);
        KXRunContext::updateTimestamp();
    });
}

} // namespace

std::optional<KXRunContextData> KXRunContext::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray data = file.read(sizeof(KXRunContextData) + 1);
    if (data.size() != static_cast<int>(sizeof(KXRunContextData))) {
        return std::nullopt;
    }
    KXRunContextData context;
    memcpy(&context, data.constData(), sizeof(context));
    if (context.structVersion != KXRunContextVersion) {
        return std::nullopt;
    }
    return context;
}

void KXRunContext::start(const QString &path)
{
    if (kxrunContext() != nullptr) {
        return;
    }
    if (const auto previousContext = read(path)) {
        s_previous = *previousContext;
        s_hasPrevious = true;
    }
    KXRunContextData *context = &s_inMemory;
    const int fd = open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        kxLogWarning(QStringLiteral("Could not open %1").arg(path));
    } else if (ftruncate(fd, sizeof(KXRunContextData)) != 0) {
        kxLogWarning(QStringLiteral("ftruncate failed: %1").arg(errno));
    } else {
        void *mapping = mmap(nullptr, sizeof(KXRunContextData), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (mapping == MAP_FAILED) {
            kxLogWarning(QStringLiteral("mmap failed: %1").arg(errno));
        } else {
            context = static_cast<KXRunContextData *>(mapping);
            mlock(mapping, sizeof(KXRunContextData));
        }
    }
    memset(context, 0, sizeof(*context));
    context->isDebuggerAttached = kxsentryIsDebuggerAttached();
    context->isLaunching = true;
    // A tray application has no background a user could see: in use from start to quit.
    context->isForeground = true;
    context->isActive = true;
    context->bootTime = bootTimeMicroseconds();
    kximagesRefresh();
    if (const KXBinaryImage *main = kximagesMain(); main != nullptr && main->uuid != nullptr) {
        memcpy(context->machoUUID, main->uuid, sizeof(context->machoUUID));
    }
    strncpy(context->bundleVersion, plimsy::BundleInfo::BuildNumber, sizeof(context->bundleVersion) - 1);
    kxrunContextSet(context);
    updateTimestamp();
    kxrunContextRefreshMemory(context);
    startRefreshing();
    __atomic_store_n(&context->structVersion, KXRunContextVersion, __ATOMIC_RELEASE);
    observeApplicationState();
    if (fd >= 0) {
        close(fd); // the mapping stays
    }
}

const KXRunContextData *KXRunContext::previous()
{
    return s_hasPrevious ? &s_previous : nullptr;
}

bool KXRunContext::lastRunEndedUnexpectedly()
{
    const KXRunContextData *current = kxrunContext();
    return current != nullptr && endedUnexpectedly(previous(), *current, false);
}

bool KXRunContext::endedUnexpectedly(const KXRunContextData *previous,
                                     const KXRunContextData &current,
                                     bool isAppExtension)
{
    if (isAppExtension || previous == nullptr || previous->isTerminating || previous->isDebuggerAttached) {
        return false;
    }
    // A reboot, an update or another build explain a run that stopped.
    if (previous->bootTime != current.bootTime
        || memcmp(previous->bundleVersion, current.bundleVersion, sizeof(current.bundleVersion)) != 0
        || memcmp(previous->machoUUID, current.machoUUID, sizeof(current.machoUUID)) != 0) {
        return false;
    }
    return previous->isForeground && previous->isActive;
}

QString KXRunContext::thermalStateName(uint64_t state)
{
    static const char *const names[] = {"nominal", "fair", "serious", "critical"};
    return state < 4 ? QString::fromLatin1(names[state]) : QString();
}

double KXRunContext::absoluteTimeNow()
{
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - AbsoluteTimeEpoch;
}

void KXRunContext::updateTimestamp()
{
    if (KXRunContextData *context = kxrunContext()) {
        const double now = absoluteTimeNow();
        uint64_t bits;
        memcpy(&bits, &now, sizeof(bits));
        __atomic_store_n(reinterpret_cast<uint64_t *>(&context->timestamp), bits, __ATOMIC_RELAXED);
    }
}

} // namespace kestrix
