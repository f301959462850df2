#pragma once

#include "crashreporter/client/KXNetworkBreadcrumb.h"
#include "crashreporter/client/KestrixClient.h"

#include <QJsonObject>

namespace kestrix {

// The crash reporter's one door for the application: a process-wide client, started once.
class Kestrix
{
public:
    // Starts the client with the settings built into the application (":/kestrix/KestrixSettings.json").
    // Without an intake (an API key and an events address) the client records to disk, sends nothing
    // and says so in one log line; with settings it cannot read it stays off after one error line. The
    // application runs on either way. GUI thread, at launch.
    static KestrixClient *start();
    // The built-in settings with this API key.
    static KestrixClient *startWithApiKey(const QString &apiKey);
    // The same with the given settings (their "kestrix" object).
    static KestrixClient *startWithSettings(const QJsonObject &settings);
    static KestrixClient *startWithConfiguration(const KestrixConfiguration &configuration);

    static bool isStarted();
    // None until started.
    static KestrixClient *client();
    // Drops the client; its crash handlers and threads stay to the end of the process.
    static void purge();
    // Without the readiness check: a default user before start.
    static KestrixUser user();

    // Each does nothing, after an error line, before the client is ready.
    static bool appDidCrashLastLaunch();
    static std::optional<KestrixLastRunInfo> lastRunInfo();
    static void markLaunchCompleted();
    static void notify(const std::exception &exception, const KestrixOnErrorBlock &block = {});
    static void notifyError(const KestrixErrorRecord &error, const KestrixOnErrorBlock &block = {});
    static void leaveBreadcrumb(const QString &message,
                                const QJsonObject &metadata = {},
                                KestrixBreadcrumbType type = KestrixBreadcrumbType::Manual);
    static void leaveBreadcrumbForNotificationName(const QString &name);
    static void leaveNetworkRequestBreadcrumb(const KXNetworkRequestInfo &request);
    static std::vector<KestrixBreadcrumb> breadcrumbs();
    static void startSession();
    static void pauseSession();
    static bool resumeSession();
    static void setContext(const std::optional<QString> &context);
    static std::optional<QString> context();
    static void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);
    // Returns the previous one.
    static std::optional<QString> setGroupingDiscriminator(const std::optional<QString> &discriminator);
    static std::optional<QString> groupingDiscriminator();
    static void addMetadata(const QJsonValue &value, const QString &key, const QString &section);
    static void addMetadata(const QJsonObject &values, const QString &section);
    static std::optional<QJsonObject> getMetadata(const QString &section);
    static QJsonValue getMetadata(const QString &section, const QString &key);
    static void clearMetadata(const QString &section);
    static void clearMetadata(const QString &section, const QString &key);
    static void addFeatureFlag(const QString &name, const std::optional<QString> &variant = std::nullopt);
    static void addFeatureFlags(const KestrixFeatureFlags &flags);
    static void clearFeatureFlag(const QString &name);
    static void clearFeatureFlags();
    // A token that removes nothing before the client is ready.
    static KestrixCallbackToken addOnSession(std::function<KestrixOnSession> callback);
    static void removeOnSession(KestrixCallbackToken token);
    static KestrixCallbackToken addOnBreadcrumb(std::function<KestrixOnBreadcrumb> callback);
    static void removeOnBreadcrumb(KestrixCallbackToken token);

private:
    static KestrixClient *readyClient();
    template <typename Call> static void whenReady(Call call)
    {
        if (KestrixClient *client = readyClient()) {
            call(*client);
        }
    }
    // The ready client's answer, else `otherwise`.
    template <typename Result, typename Call> static Result askWhenReady(Result otherwise, Call call)
    {
        KestrixClient *client = readyClient();
        return client != nullptr ? call(*client) : otherwise;
    }
};

} // namespace kestrix
