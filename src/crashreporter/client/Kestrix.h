#pragma once

#include "crashreporter/client/KestrixClient.h"

#include <QJsonObject>

namespace kestrix {

// The crash reporter's one door for the application: a process-wide client, started once.
class Kestrix
{
public:
    // Starts the client with the settings built into the application (":/kestrix/KestrixSettings.json").
    // Without a usable API key the client stays off after one log line; the application runs on.
    // GUI thread, at launch.
    static KestrixClient *start();
    // The same with the given settings (their "kestrix" object).
    static KestrixClient *startWithSettings(const QJsonObject &settings);
    static KestrixClient *startWithConfiguration(const KestrixConfiguration &configuration);

    static bool isStarted();
    // None until started.
    static KestrixClient *client();

    // Each does nothing, after an error line, before the client is ready.
    static bool appDidCrashLastLaunch();
    static std::optional<KestrixLastRunInfo> lastRunInfo();
    static void markLaunchCompleted();
    static void notify(const std::exception &exception, const KestrixOnErrorBlock &block = {});
    static void notifyError(const KestrixErrorRecord &error, const KestrixOnErrorBlock &block = {});
    static void leaveBreadcrumb(const QString &message,
                                const QJsonObject &metadata = {},
                                KestrixBreadcrumbType type = KestrixBreadcrumbType::Manual);
    static void startSession();
    static void pauseSession();
    static bool resumeSession();
    static void setContext(const std::optional<QString> &context);
    static void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);
    static void addMetadata(const QJsonValue &value, const QString &key, const QString &section);
    static void addFeatureFlag(const QString &name, const std::optional<QString> &variant = std::nullopt);
    static void clearFeatureFlag(const QString &name);

private:
    static KestrixClient *readyClient();
};

} // namespace kestrix
