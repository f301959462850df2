#include "crashreporter/client/Kestrix.h"

#include "crashreporter/client/KXInternalErrorReporter.h"
#include "crashreporter/support/KXFileLocations.h"
#include "crashreporter/support/KXJSONSerialization.h"
#include "crashreporter/support/KXLogger.h"

#include <QFile>

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
    // Without a key nothing is installed or written: the client stays off and the application runs on.
    if (!configuration.validate()) {
        return nullptr;
    }
    KXFileLocations::setInternalErrorReporter(&reportStorageFault);
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

} // namespace kestrix
