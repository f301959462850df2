#include "crashreporter/client/Kestrix.h"

#include "crashreporter/client/KXInternalErrorReporter.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <mutex>

namespace kestrix {

namespace {

std::mutex s_startMutex;
// Lives until the process ends: the crash handlers and worker threads use it to the last moment.
std::atomic<KestrixClient *> s_client{nullptr};

// The storage layout is made before the internal error reporter exists: its report waits for it.
void reportStorageFault(const QString &errorClass, const QString &context, const QString &message)
{
    KXInternalErrorReporter::performBlock([errorClass, context, message](KXInternalErrorReporter &reporter) {
        reporter.reportErrorWithClass(errorClass, context, message, {});
    });
}

} // namespace

KestrixClient *Kestrix::start()
{
    QFile file(QStringLiteral(":/kestrix/KestrixSettings.json"));
    const auto settings =
        file.open(QIODevice::ReadOnly) ? KXJSONSerialization::objectFromData(file.readAll()) : std::nullopt;
    return startWithSettings(settings.value_or(QJsonObject()));
}

KestrixClient *Kestrix::startWithApiKey(const QString &apiKey)
{
    QFile file(QStringLiteral(":/kestrix/KestrixSettings.json"));
    QJsonObject settings = file.open(QIODevice::ReadOnly)
                               ? KXJSONSerialization::objectFromData(file.readAll()).value_or(QJsonObject())
                               : QJsonObject();
    QJsonObject options = settings.value(QStringLiteral("kestrix")).toObject();
    options.insert(QStringLiteral("apiKey"), apiKey);
    settings.insert(QStringLiteral("kestrix"), options);
    return startWithSettings(settings);
}

KestrixClient *Kestrix::startWithSettings(const QJsonObject &settings)
{
    const QJsonValue options = settings.value(QStringLiteral("kestrix"));
    const auto configuration = KestrixConfiguration::loadConfig(options.toObject());
    if (!configuration) {
        return nullptr; // its reason is logged
    }
    return startWithConfiguration(*configuration);
}

KestrixClient *Kestrix::startWithConfiguration(const KestrixConfiguration &configuration)
{
    std::lock_guard lock(s_startMutex);
    if (KestrixClient *client = s_client.load()) {
        kxLogWarning(QStringLiteral("Multiple Kestrix.start calls detected. Ignoring."));
        return client;
    }
    // A build without an intake still records its crashes and hangs; they stay on disk.
    if (!configuration.hasIntake()) {
        kxLogInfo(QStringLiteral("No crash intake is configured: reports stay in %1 and nothing is sent")
                      .arg(QFileInfo(KXFileLocations::current().events).absolutePath()));
    } else if (!configuration.validate()) {
        return nullptr;
    } else {
        KXFileLocations::setInternalErrorReporter(&reportStorageFault);
    }
    auto *client = new KestrixClient(configuration.copy());
    s_client.store(client);
    client->start();
    return client;
}

bool Kestrix::isStarted()
{
    const KestrixClient *client = s_client.load();
    return client != nullptr && client->isStarted();
}

KestrixClient *Kestrix::client()
{
    return s_client.load();
}

void Kestrix::purge()
{
    std::lock_guard lock(s_startMutex);
    s_client.store(nullptr); // not deleted: its handlers and threads may still use it
}

KestrixUser Kestrix::user()
{
    const KestrixClient *client = s_client.load();
    return client != nullptr ? client->user() : KestrixUser();
}

KestrixClient *Kestrix::readyClient()
{
    KestrixClient *client = s_client.load();
    if (client == nullptr || !client->readyForInternalCalls()) {
        kxLogError(QStringLiteral("Ensure you have started Kestrix with startWithApiKey: before calling any other "
                                  "Kestrix functions."));
        return nullptr;
    }
    return client;
}

bool Kestrix::appDidCrashLastLaunch()
{
    KestrixClient *client = readyClient();
    return client != nullptr && client->appDidCrashLastLaunch();
}

std::optional<KestrixLastRunInfo> Kestrix::lastRunInfo()
{
    KestrixClient *client = readyClient();
    return client != nullptr ? std::optional(client->lastRunInfo()) : std::nullopt;
}

void Kestrix::markLaunchCompleted()
{
    if (KestrixClient *client = readyClient()) {
        client->markLaunchCompleted();
    }
}

void Kestrix::notify(const std::exception &exception, const KestrixOnErrorBlock &block)
{
    if (KestrixClient *client = readyClient()) {
        client->notify(exception, block, 1);
    }
}

void Kestrix::notifyError(const KestrixErrorRecord &error, const KestrixOnErrorBlock &block)
{
    if (KestrixClient *client = readyClient()) {
        client->notifyError(error, block, 1);
    }
}

void Kestrix::leaveBreadcrumb(const QString &message, const QJsonObject &metadata, KestrixBreadcrumbType type)
{
    if (KestrixClient *client = readyClient()) {
        client->leaveBreadcrumb(message, metadata, type);
    }
}

void Kestrix::startSession()
{
    if (KestrixClient *client = readyClient()) {
        client->startSession();
    }
}

void Kestrix::pauseSession()
{
    if (KestrixClient *client = readyClient()) {
        client->pauseSession();
    }
}

bool Kestrix::resumeSession()
{
    KestrixClient *client = readyClient();
    return client != nullptr && client->resumeSession();
}

void Kestrix::setContext(const std::optional<QString> &context)
{
    if (KestrixClient *client = readyClient()) {
        client->setContext(context);
    }
}

void Kestrix::setUser(const std::optional<QString> &id,
                      const std::optional<QString> &email,
                      const std::optional<QString> &name)
{
    if (KestrixClient *client = readyClient()) {
        client->setUser(id, email, name);
    }
}

void Kestrix::addMetadata(const QJsonValue &value, const QString &key, const QString &section)
{
    if (KestrixClient *client = readyClient()) {
        client->addMetadata(value, key, section);
    }
}

void Kestrix::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    if (KestrixClient *client = readyClient()) {
        client->addFeatureFlag(name, variant);
    }
}

void Kestrix::clearFeatureFlag(const QString &name)
{
    if (KestrixClient *client = readyClient()) {
        client->clearFeatureFlag(name);
    }
}

void Kestrix::leaveBreadcrumbForNotificationName(const QString &name)
{
    whenReady([&](KestrixClient &client) { client.leaveBreadcrumbForNotificationName(name); });
}

void Kestrix::leaveNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request)
{
    whenReady([&](KestrixClient &client) { client.leaveNetworkRequestBreadcrumb(request); });
}

std::vector<KestrixBreadcrumb> Kestrix::breadcrumbs()
{
    return askWhenReady(std::vector<KestrixBreadcrumb>(), [](KestrixClient &client) { return client.breadcrumbs(); });
}

std::optional<QString> Kestrix::context()
{
    return askWhenReady(std::optional<QString>(), [](KestrixClient &client) { return client.context(); });
}

std::optional<QString> Kestrix::setGroupingDiscriminator(const std::optional<QString> &discriminator)
{
    return askWhenReady(std::optional<QString>(),
                        [&](KestrixClient &client) { return client.setGroupingDiscriminator(discriminator); });
}

std::optional<QString> Kestrix::groupingDiscriminator()
{
    return askWhenReady(std::optional<QString>(), [](KestrixClient &client) { return client.groupingDiscriminator(); });
}

void Kestrix::addMetadata(const QJsonObject &values, const QString &section)
{
    whenReady([&](KestrixClient &client) { client.addMetadata(values, section); });
}

std::optional<QJsonObject> Kestrix::getMetadata(const QString &section)
{
    return askWhenReady(std::optional<QJsonObject>(),
                        [&](KestrixClient &client) { return client.getMetadata(section); });
}

QJsonValue Kestrix::getMetadata(const QString &section, const QString &key)
{
    return askWhenReady(QJsonValue(QJsonValue::Undefined),
                        [&](KestrixClient &client) { return client.getMetadata(section, key); });
}

void Kestrix::clearMetadata(const QString &section)
{
    whenReady([&](KestrixClient &client) { client.clearMetadata(section); });
}

void Kestrix::clearMetadata(const QString &section, const QString &key)
{
    whenReady([&](KestrixClient &client) { client.clearMetadata(section, key); });
}

void Kestrix::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    whenReady([&](KestrixClient &client) { client.addFeatureFlags(flags); });
}

void Kestrix::clearFeatureFlags()
{
    whenReady([](KestrixClient &client) { client.clearFeatureFlags(); });
}

KestrixCallbackToken Kestrix::addOnSession(std::function<KestrixOnSession> callback)
{
    return askWhenReady(KestrixCallbackToken(),
                        [&](KestrixClient &client) { return client.addOnSession(std::move(callback)); });
}

void Kestrix::removeOnSession(KestrixCallbackToken token)
{
    whenReady([token](KestrixClient &client) { client.removeOnSession(token); });
}

KestrixCallbackToken Kestrix::addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback)
{
    return askWhenReady(KestrixCallbackToken(),
                        [&](KestrixClient &client) { return client.addOnBreadcrumb(std::move(callback)); });
}

void Kestrix::removeOnBreadcrumb(KestrixCallbackToken token)
{
    whenReady([token](KestrixClient &client) { client.removeOnBreadcrumb(token); });
}

} // namespace kestrix
