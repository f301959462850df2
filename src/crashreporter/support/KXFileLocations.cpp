#include "crashreporter/support/KXFileLocations.h"

#include "crashreporter/support/KXFilesystem.h"
#include "crashreporter/support/KXLogger.h"
#include "platform/AppPaths.h"
#include "platform/BundleInfo.h"

#include <QDir>
#include <QFile>

#include <atomic>

namespace kestrix {

namespace {

std::atomic<KXFileLocations::InternalErrorReporter> s_reporter{nullptr};

void createDirectory(const QString &path)
{
    // What the crash reporter keeps may name the user and the machine: the owner's alone.
    const auto error = KXFilesystem::makePrivateDirectory(path);
    if (!error) {
        return;
    }
    kxLogError(*error);
    static std::atomic<bool> reported{false};
    const auto reporter = s_reporter.load();
    if (reporter != nullptr && !reported.exchange(true)) {
        reporter(QStringLiteral("Could not create directory"), QDir(path).dirName(), *error);
    }
}

} // namespace

void KXFileLocations::setInternalErrorReporter(InternalErrorReporter reporter)
{
    s_reporter.store(reporter);
}

const KXFileLocations &KXFileLocations::current()
{
    static const KXFileLocations locations = v1();
    return locations;
}

KXFileLocations KXFileLocations::v1()
{
    const QString support = plimsy::AppPaths::applicationSupport();
    if (support.isEmpty()) {
        kxLogError(QStringLiteral("Could not locate directory for storage: %1").arg(support));
    }
    const QString identifier = QString::fromLatin1(plimsy::BundleInfo::Identifier);
    const QDir root(QStringLiteral("%1/com.kestrix.Kestrix/%2/%3").arg(support, identifier, QStringLiteral("v1")));
    KXFileLocations locations;
    locations.breadcrumbs = root.filePath(QStringLiteral("breadcrumbs"));
    locations.events = root.filePath(QStringLiteral("events"));
    locations.crashCoreReports = root.filePath(QStringLiteral("CrashCoreReports"));
    locations.sessions = root.filePath(QStringLiteral("sessions"));
    locations.featureFlags = root.filePath(QStringLiteral("featureFlags"));
    locations.appHangEvent = root.filePath(QStringLiteral("app_hang.json"));
    locations.flagHandledCrash = root.filePath(QStringLiteral("kestrix_handled_crash.txt"));
    locations.configuration = root.filePath(QStringLiteral("config.json"));
    locations.metadata = root.filePath(QStringLiteral("metadata.json"));
    locations.runContext = root.filePath(QStringLiteral("run_context"));
    locations.state = root.filePath(QStringLiteral("state.json"));
    locations.systemState = root.filePath(QStringLiteral("system_state.json"));
    // Beside the root, in Application Support like everything else, so cleaning caches keeps the id.
    const QString shared = QStringLiteral("%1/kestrix-shared-%2").arg(support, identifier);
    locations.persistentDeviceID = QDir(shared).filePath(QStringLiteral("device-id.json"));
    for (const QString &directory : {root.path(),
                                     locations.breadcrumbs,
                                     locations.events,
                                     locations.crashCoreReports,
                                     locations.sessions,
                                     locations.featureFlags,
                                     shared}) {
        createDirectory(directory);
    }
    return locations;
}

} // namespace kestrix
