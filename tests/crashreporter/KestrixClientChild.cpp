// A program that starts the crash reporter's client the way Plimsy does and then does one thing:
//   kestrix_client_child <action> [settings JSON]
// Actions: "run" (nothing more), "notify", "notify-drop" and "notify-flip" (one handled error; an
// on-error callback that drops it or makes it unhandled), "hang <ms>" (blocks the GUI thread),
// "hang-after-heartbeat <ms> [<send every ms>]" (a second after start, blocks it just after the hang
// detector's next heartbeat, sending an event that often meanwhile, and prints "blocked at <UTC milliseconds>"),
// "crash" (a write to an unmapped address while still launching), "observe" (an observer prints
// "observed <code> <value>" for a fixed run of changes, then "observed end").
// The settings are the "kestrix" settings; a top-level "discardPattern" adds a regular expression
// to the discarded classes, a top-level "metadata" object ({section: {key: value}}) is added after
// start, then a top-level "groupingDiscriminator" and "codeBundleId" are set and "startSession"
// starts a new session; a top-level "holdFileQueue" (with "crash" only) keeps the client's file queue
// busy from before start to the end. Prints "started <0|1>", then "lastRun <consecutive launch crashes>
// <crashed> <crashed during launch>" and, once its deliveries and file writes are done, "delivered", then runs
// until killed. Its functions are exported so that stacks name them.
#include "crashreporter/client/KXAppHangDetector.h"
#include "crashreporter/client/Kestrix.h"
#include "crashreporter/support/KXFileSystemQueue.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <future>
#include <stdexcept>
#include <thread>

using namespace kestrix;

extern "C" {

// With `sendEvery`, it sends an event that often meanwhile, as a long pass building a menu would.
[[gnu::noinline]] void kxChildBlockGuiThread(int milliseconds, int sendEvery)
{
    QObject receiver;
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + std::chrono::milliseconds(milliseconds);
    auto nextSend = start + std::chrono::milliseconds(sendEvery);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (sendEvery > 0 && std::chrono::steady_clock::now() >= nextSend) {
            QEvent event(QEvent::User);
            QCoreApplication::sendEvent(&receiver, &event);
            nextSend += std::chrono::milliseconds(sendEvery);
        }
    }
    asm volatile(""); // keeps this frame from being a tail call
}

// Not null: the undefined-behaviour sanitizer would stop a null write before the fault.
volatile uintptr_t g_unmapped = 16;

[[gnu::noinline]] void kxChildCrash()
{
    *reinterpret_cast<volatile int *>(g_unmapped) = 1;
}
}

namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

KestrixClient *startClient(const QJsonObject &settings)
{
    const QString pattern = settings.value(QStringLiteral("discardPattern")).toString();
    if (pattern.isEmpty()) {
        return Kestrix::startWithSettings(settings);
    }
    auto configuration = KestrixConfiguration::loadConfig(settings.value(QStringLiteral("kestrix")).toObject());
    configuration->discardClasses.emplace_back(QRegularExpression(pattern));
    return Kestrix::startWithConfiguration(*configuration);
}

// The value as one word: "-" for none, a flag as name=variant, metadata as its "site" section, a
// user as the email address.
QString describe(const KestrixClientChangeValue &value)
{
    if (const auto *text = std::get_if<QString>(&value)) {
        return *text;
    }
    if (const auto *flag = std::get_if<KestrixFeatureFlag>(&value)) {
        return flag->name + QLatin1Char('=') + flag->variant.value_or(QStringLiteral("-"));
    }
    if (const auto *metadata = std::get_if<KestrixMetadata>(&value)) {
        const auto site = metadata->getMetadataFromSection(QStringLiteral("site"));
        return site ? QString::fromUtf8(QJsonDocument(*site).toJson(QJsonDocument::Compact)) : QStringLiteral("-");
    }
    if (const auto *user = std::get_if<KestrixUser>(&value)) {
        return user->email.value_or(QStringLiteral("-"));
    }
    return QStringLiteral("-");
}

void observe(KestrixClient &client)
{
    const auto print = [](KestrixClientChange change, const KestrixClientChangeValue &value) {
        std::printf("observed %d %s\n", static_cast<int>(change), qPrintable(describe(value)));
        std::fflush(stdout);
    };
    client.setObserver(print);
    Kestrix::addFeatureFlag(QStringLiteral("beta"), QStringLiteral("on"));
    Kestrix::setContext(QStringLiteral("Servers"));
    Kestrix::addMetadata(QStringLiteral("eu"), QStringLiteral("region"), QStringLiteral("site"));
    Kestrix::setUser(QStringLiteral("u-1"), QStringLiteral("ann@example.com"), QStringLiteral("Ann"));
    Kestrix::setGroupingDiscriminator(QStringLiteral("tray"));
    Kestrix::clearFeatureFlag(QStringLiteral("beta"));
    Kestrix::addFeatureFlags({{QStringLiteral("gamma"), std::nullopt}});
    client.setObserver(print); // told the current state again
    Kestrix::clearFeatureFlags();
    Kestrix::setGroupingDiscriminator(std::nullopt);
    client.setObserver({});
    Kestrix::setContext(QStringLiteral("unseen"));
    Kestrix::clearMetadata(QStringLiteral("site"));
    say("observed end");
}

// Blocks the GUI thread for `milliseconds` right after the next heartbeat has been answered.
class BlockAfterHeartbeat : public QObject
{
public:
    BlockAfterHeartbeat(int milliseconds, int sendEvery)
        : m_milliseconds(milliseconds)
        , m_sendEvery(sendEvery)
    {
    }

protected:
    bool eventFilter(QObject *receiver, QEvent *event) override
    {
        if (event->type() == QEvent::MetaCall
            && receiver->objectName() == QLatin1String(KXAppHangDetector::HeartbeatName)) {
            QCoreApplication::instance()->removeEventFilter(this);
            QTimer::singleShot(0, [milliseconds = m_milliseconds, sendEvery = m_sendEvery] {
                std::printf("blocked at %lld\n", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
                std::fflush(stdout);
                kxChildBlockGuiThread(milliseconds, sendEvery);
            });
        }
        return false;
    }

private:
    int m_milliseconds;
    int m_sendEvery;
};

void applySettings(KestrixClient &client, const QJsonObject &settings)
{
    const QJsonObject metadata = settings.value(QStringLiteral("metadata")).toObject();
    for (auto section = metadata.begin(); section != metadata.end(); ++section) {
        const QJsonObject values = section.value().toObject();
        for (auto value = values.begin(); value != values.end(); ++value) {
            Kestrix::addMetadata(value.value(), value.key(), section.key());
        }
    }
    if (settings.contains(QStringLiteral("groupingDiscriminator"))) {
        Kestrix::setGroupingDiscriminator(settings.value(QStringLiteral("groupingDiscriminator")).toString());
    }
    if (settings.contains(QStringLiteral("codeBundleId"))) {
        client.setCodeBundleId(settings.value(QStringLiteral("codeBundleId")).toString());
    }
    if (settings.value(QStringLiteral("startSession")).toBool()) {
        Kestrix::startSession();
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plimsy"));
    const QString action = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("run");
    const QJsonObject settings = argc > 2 ? QJsonDocument::fromJson(argv[2]).object() : QJsonObject();
    std::promise<void> releaseFileQueue;
    if (settings.value(QStringLiteral("holdFileQueue")).toBool()) {
        // Nothing the client queues for the disk gets there before this run ends.
        KXFileSystemQueue::shared().async([held = releaseFileQueue.get_future().share()] { held.wait(); });
    }
    KestrixClient *client = startClient(settings);
    say(client != nullptr ? "started 1" : "started 0");
    if (client != nullptr) {
        applySettings(*client, settings);
    }
    if (const auto lastRun = client != nullptr ? Kestrix::lastRunInfo() : std::nullopt) {
        std::printf("lastRun %llu %d %d\n",
                    static_cast<unsigned long long>(lastRun->consecutiveLaunchCrashes),
                    int(lastRun->crashed),
                    int(lastRun->crashedDuringLaunch));
        std::fflush(stdout);
    }
    if (action == QLatin1String("crash")) {
        kxChildCrash();
    }
    if (action == QLatin1String("observe") && client != nullptr) {
        observe(*client);
    }

    const auto finish = [client] {
        if (client != nullptr) {
            client->waitForDeliveries(std::chrono::seconds(30));
            KXFileSystemQueue::shared().waitUntilIdle();
        }
        say("delivered");
    };
    const std::runtime_error error("the server list could not be read");
    if (action == QLatin1String("notify")) {
        Kestrix::notify(error);
    } else if (action == QLatin1String("notify-drop")) {
        Kestrix::notify(error, [](KestrixEvent &) { return false; });
    } else if (action == QLatin1String("notify-flip")) {
        Kestrix::notify(error, [](KestrixEvent &event) {
            event.setUnhandled(true);
            return true;
        });
    } else if (action == QLatin1String("hang-after-heartbeat")) {
        const int milliseconds = argc > 3 ? QByteArray(argv[3]).toInt() : 1000;
        BlockAfterHeartbeat blocker(milliseconds, argc > 4 ? QByteArray(argv[4]).toInt() : 0);
        QTimer::singleShot(1000, [&blocker] { QCoreApplication::instance()->installEventFilter(&blocker); });
        QTimer::singleShot(1000 + 2 * milliseconds + 500, finish);
        return QCoreApplication::exec();
    } else if (action.startsWith(QLatin1String("hang"))) {
        const int milliseconds = argc > 3 ? QByteArray(argv[3]).toInt() : 1000;
        QTimer::singleShot(0, [milliseconds] { kxChildBlockGuiThread(milliseconds, 0); });
        QTimer::singleShot(milliseconds + 500, finish);
        return QCoreApplication::exec();
    }
    QTimer::singleShot(0, finish);
    return QCoreApplication::exec();
}
