// A program that fills the client's crash-time stores the way a running Plimsy would, installs the
// crash core with the client's user section, and then crashes as its first argument says:
//   kestrix_crash_child <kind> <storage directory>
// Its functions are exported so that reports name them.
#include "crashreporter/client/KXCrashTimeUserSection.h"
#include "crashreporter/client/KestrixBreadcrumbs.h"
#include "crashreporter/core/KXCrashSentry.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/model/KestrixMetadata.h"
#include "crashreporter/model/KestrixSession.h"
#include "crashreporter/support/KXCompositeFeatureFlagStore.h"
#include "crashreporter/support/KXRunContext.h"
#include "crashreporter/support/KX_CrashCore.h"

#include <QDir>
#include <QJsonArray>
#include <QTimeZone>

#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <latch>
#include <stdexcept>
#include <thread>

using namespace kestrix;

volatile int *volatile g_null = nullptr;
std::latch *g_bothReady = nullptr;

extern "C" {

[[gnu::noinline]] void modelCrashNullWrite()
{
    *g_null = 1;
}

[[gnu::noinline]] void modelCrashOnBothThreads()
{
    g_bothReady->arrive_and_wait();
    modelCrashNullWrite();
}
}

[[gnu::noinline]] void modelThrowRuntimeError()
{
    throw std::runtime_error("the settings file is damaged");
}

namespace {

// The client's state as it would stand after a while: a session with two handled errors, a
// context, a user, flags, breadcrumbs and metadata with secrets in a section and in a list.
void prepareStores(const QDir &root, KestrixConfiguration &config, KestrixBreadcrumbs &breadcrumbs)
{
    static KestrixMetadata metadata;
    metadata.setStorageBuffer(&KXCrashTimeUserSection::metadataBuffer, root.filePath(QStringLiteral("metadata.json")));
    metadata.addMetadata(QJsonObject{{QStringLiteral("server"), QStringLiteral("forge-1")},
                                     {QStringLiteral("Password"), QStringLiteral("hunter2")}},
                         QStringLiteral("account"));
    const QJsonArray logins{QJsonObject{{QStringLiteral("user"), QStringLiteral("ann")},
                                        {QStringLiteral("password"), QStringLiteral("a1")}},
                            QJsonObject{{QStringLiteral("user"), QStringLiteral("bob")},
                                        {QStringLiteral("password"), QStringLiteral("b2")}}};
    metadata.addMetadata(logins, QStringLiteral("logins"), QStringLiteral("custom"));

    static KestrixMetadata state(QJsonObject{{QStringLiteral("client"),
                                              QJsonObject{{QStringLiteral("context"), QStringLiteral("Preferences")},
                                                          {QStringLiteral("groupingDiscriminator"), QJsonValue::Null}}},
                                             {QStringLiteral("user"),
                                              QJsonObject{{QStringLiteral("id"), QStringLiteral("user-7")},
                                                          {QStringLiteral("email"), QStringLiteral("ann@example.com")},
                                                          {QStringLiteral("name"), QStringLiteral("Ann")}}}});
    state.setStorageBuffer(&KXCrashTimeUserSection::stateBuffer, root.filePath(QStringLiteral("state.json")));

    KXCrashTimeUserSection::setConfiguration(config);
    KXCrashTimeUserSection::setHandledCrashFlagPath(root.filePath(QStringLiteral("kestrix_handled_crash.txt")));

    KestrixSession session(QStringLiteral("5E1D6A0C-2B4F-4C39-9A47-3F6B1E2D8C10"),
                           QDateTime(QDate(2024, 5, 17), QTime(9, 30, 15, 250), QTimeZone::utc()),
                           std::nullopt,
                           std::nullopt,
                           std::nullopt);
    session.handledCount = 2;
    KestrixSession::updateRunContext(&session);

    breadcrumbs.removeAllBreadcrumbs();
    for (const char *message : {"Kestrix loaded", "App Became Active", "Refresh started"}) {
        KestrixBreadcrumb breadcrumb;
        breadcrumb.message = QString::fromLatin1(message);
        breadcrumb.type = KestrixBreadcrumbType::State;
        breadcrumbs.addBreadcrumb(breadcrumb);
    }
    KestrixBreadcrumb request;
    request.message = QStringLiteral("Server list loaded");
    request.type = KestrixBreadcrumbType::Request;
    request.metadata = {{QStringLiteral("status"), 200}, {QStringLiteral("password"), QStringLiteral("x")}};
    breadcrumbs.addBreadcrumb(request);
}

// Two threads change flags and breadcrumbs as fast as they can while a third crashes.
[[noreturn]] void crashWhileWriting(KXCompositeFeatureFlagStore &flags, KestrixBreadcrumbs &breadcrumbs)
{
    std::atomic<int> rounds{0};
    const auto work = [&](int thread) {
        for (int i = 0;; i++) {
            const QString name = QStringLiteral("flag-%1-%2").arg(thread).arg(i % 7);
            flags.addFeatureFlag(name, QStringLiteral("v%1").arg(i));
            if (i % 3 == 0) {
                flags.clear(name);
            }
            KestrixBreadcrumb breadcrumb;
            breadcrumb.message = QStringLiteral("thread %1 step %2").arg(thread).arg(i);
            breadcrumbs.addBreadcrumb(breadcrumb);
            if (i % 50 == 49) {
                breadcrumbs.removeAllBreadcrumbs();
            }
            rounds++;
        }
    };
    std::thread first(work, 1);
    std::thread second(work, 2);
    while (rounds.load() < 2000) {
        std::this_thread::yield();
    }
    std::thread crasher(modelCrashNullWrite);
    crasher.join();
    first.join();
    second.join();
    std::abort();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: kestrix_crash_child <kind> <storage directory>\n", stderr);
        return 2;
    }
    const struct rlimit noCore = {0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const QString kind = QString::fromLatin1(argv[1]);
    const QDir root(QString::fromLocal8Bit(argv[2]));
    root.mkpath(QStringLiteral("breadcrumbs"));
    root.mkpath(QStringLiteral("featureFlags"));
    KXRunContext::start(root.filePath(QStringLiteral("run_context")));

    KestrixConfiguration config(QStringLiteral("0123456789abcdef0123456789abcdef"));
    config.context = QStringLiteral("Launch");
    config.releaseStage = QStringLiteral("beta");
    config.enabledReleaseStages = QStringList{QStringLiteral("beta"), QStringLiteral("production")};
    if (kind == QLatin1String("busy_writers")) {
        config.setMaxBreadcrumbs(25);
    }
    KestrixBreadcrumbs breadcrumbs(config, root.filePath(QStringLiteral("breadcrumbs")));
    KXCompositeFeatureFlagStore flags(
        KXMemoryFeatureFlagStore(),
        std::make_unique<KXPersistentFeatureFlagStore>(root.filePath(QStringLiteral("featureFlags"))),
        KXAtomicFeatureFlagStore::store());
    prepareStores(root, config, breadcrumbs);
    flags.addFeatureFlag(QStringLiteral("new-menu"), std::nullopt);
    flags.addFeatureFlag(QStringLiteral("dark-mode"), QStringLiteral("on"));
    flags.addFeatureFlag(QStringLiteral("gone"), std::nullopt);
    flags.clear(QStringLiteral("gone"));

    KX_CrashCore &core = KX_CrashCore::sharedInstance();
    core.setThreadTracingEnabled(true);
    core.setUserSectionCallback(&KXCrashTimeUserSection::write);
    core.install(KXCrashTypeAll, root.filePath(QStringLiteral("CrashCoreReports")));
    std::printf("ready\n");
    std::fflush(stdout);

    if (kind == QLatin1String("null_write")) {
        modelCrashNullWrite();
    } else if (kind == QLatin1String("runtime_error")) {
        modelThrowRuntimeError();
    } else if (kind == QLatin1String("two_threads")) {
        std::latch ready(2);
        g_bothReady = &ready;
        std::thread first(modelCrashOnBothThreads);
        std::thread second(modelCrashOnBothThreads);
        first.join();
        second.join();
    } else if (kind == QLatin1String("busy_writers")) {
        crashWhileWriting(flags, breadcrumbs);
    }
    return 4;
}
