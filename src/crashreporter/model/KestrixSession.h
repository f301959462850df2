#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/model/KestrixApp.h"
#include "crashreporter/model/KestrixDevice.h"
#include "crashreporter/model/KestrixUser.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

namespace kestrix {

// One period of use, with how many handled and unhandled errors happened in it.
class KestrixSession
{
public:
    KestrixSession(QString id,
                   QDateTime startedAt,
                   std::optional<KestrixUser> user,
                   std::optional<KestrixApp> app,
                   std::optional<KestrixDevice> device);

    // Everything but `stopped`, which a copy starts without.
    KestrixSession copy() const;
    void
    setUser(const std::optional<QString> &id, const std::optional<QString> &email, const std::optional<QString> &name);

    // The stored form: "app", "device", "handledCount", "id", "startedAt", "unhandledCount", "user".
    QJsonObject toJson() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
    // The form an event carries: "events" {"handled", "unhandled"}, "id", "startedAt".
    QJsonObject toEventJson() const;
    void writeEventJson(KXJSONWriter &writer, const char *key = nullptr) const;

    static std::optional<KestrixSession> fromJson(const QJsonObject &json);
    static std::optional<KestrixSession> fromEventJson(const QJsonObject &json,
                                                       const std::optional<KestrixApp> &app,
                                                       const std::optional<KestrixDevice> &device,
                                                       const std::optional<KestrixUser> &user);
    // From a crash report's "user" section, whose "startedAt" is seconds since 2001 or RFC 3339 text.
    static std::optional<KestrixSession> fromCrashReport(const QJsonObject &userSection,
                                                         const std::optional<KestrixApp> &app,
                                                         const std::optional<KestrixDevice> &device,
                                                         const std::optional<KestrixUser> &user);
    // The session a run context names, when it names one.
    static std::optional<KestrixSession> fromRunContext(const KXRunContextData *context,
                                                        const std::optional<KestrixApp> &app,
                                                        const std::optional<KestrixDevice> &device,
                                                        const std::optional<KestrixUser> &user);

    // Mirrors the session (or none) into the current run context so that a crash report can name it.
    static void updateRunContext(const KestrixSession *session);
    // Writes the run context's session into the crash report's user section, counting the crash
    // itself as one more unhandled error. Async-signal-safe.
    static void writeCrashTime(const KXCrashReportWriter *writer);

    bool stopped = false;
    QString id;
    QDateTime startedAt;
    std::optional<KestrixApp> app;
    std::optional<KestrixDevice> device;
    std::optional<KestrixUser> user;
    uint64_t handledCount = 0;
    uint64_t unhandledCount = 0;
};

} // namespace kestrix
