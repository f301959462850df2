#include "crashreporter/model/KestrixApp.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "crashreporter/support/KXJSONWriter.h"

#include <cmath>

namespace kestrix {

namespace {

// Seconds to whole milliseconds, cut toward zero; nothing for what does not fit.
std::optional<qint64> milliseconds(const std::optional<double> &seconds)
{
    if (!seconds || !std::isfinite(*seconds) || std::fabs(*seconds * 1000) >= 4.6e18) {
        return std::nullopt;
    }
    return static_cast<qint64>(*seconds * 1000);
}

} // namespace

void KestrixApp::readJson(const QJsonObject &json)
{
    binaryArch = kxString(json, "binaryArch");
    bundleVersion = kxString(json, "bundleVersion");
    codeBundleId = kxString(json, "codeBundleId");
    id = kxString(json, "id");
    releaseStage = kxString(json, "releaseStage");
    type = kxString(json, "type");
    version = kxString(json, "version");
    const QJsonValue dsym = json.value(QStringLiteral("dsymUUIDs")).toArray().first();
    dsymUuid = dsym.isString() ? std::optional(dsym.toString()) : std::nullopt;
}

KestrixApp KestrixApp::fromJson(const QJsonObject &json)
{
    KestrixApp app;
    app.readJson(json);
    return app;
}

void KestrixApp::populateFromCrashReport(const QJsonObject &report,
                                         const KestrixConfiguration &config,
                                         const std::optional<QString> &givenCodeBundleId)
{
    const QJsonObject system = kxObject(report, "system");
    id = kxString(system, "CFBundleIdentifier");
    binaryArch = kxString(system, "binary_arch");
    bundleVersion = kxString(system, "CFBundleVersion");
    dsymUuid = kxString(system, "app_uuid");
    version = kxString(system, "CFBundleShortVersionString");
    const QJsonValue reported = kxValueAtPath(report, QStringLiteral("user.state.app.codeBundleId"));
    codeBundleId = reported.isString() ? std::optional(reported.toString()) : givenCodeBundleId;
    setValuesFromConfiguration(config);
}

KestrixApp KestrixApp::fromCrashReport(const QJsonObject &report,
                                       const KestrixConfiguration &config,
                                       const std::optional<QString> &codeBundleId)
{
    KestrixApp app;
    app.populateFromCrashReport(report, config, codeBundleId);
    return app;
}

void KestrixApp::setValuesFromConfiguration(const KestrixConfiguration &config)
{
    if (config.appType) {
        type = config.appType;
    }
    if (config.appVersion) {
        version = config.appVersion;
    }
    if (config.bundleVersion) {
        bundleVersion = config.bundleVersion;
    }
    if (config.releaseStage) {
        releaseStage = config.releaseStage;
    }
}

QJsonObject KestrixApp::toDict() const
{
    return kxJsonObject(*this);
}

void KestrixApp::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writeMembers(writer);
    writer.endObject();
}

void KestrixApp::writeMembers(KXJSONWriter &writer) const
{
    writer.optional("binaryArch", binaryArch);
    writer.optional("bundleVersion", bundleVersion);
    writer.optional("codeBundleId", codeBundleId);
    if (dsymUuid) {
        writer.beginArray("dsymUUIDs");
        writer.value(nullptr, *dsymUuid);
        writer.endArray();
    }
    writer.optional("id", id);
    writer.optional("releaseStage", releaseStage);
    writer.optional("type", type);
    writer.optional("version", version);
}

KestrixAppWithState KestrixAppWithState::fromJson(const QJsonObject &json)
{
    KestrixAppWithState app;
    app.readJson(json);
    app.duration = kxInteger(json, "duration");
    app.durationInForeground = kxInteger(json, "durationInForeground");
    app.inForeground = kxBool(json, "inForeground");
    app.isLaunching = kxBool(json, "isLaunching").value_or(false);
    return app;
}

KestrixAppWithState KestrixAppWithState::fromCrashReport(const QJsonObject &report,
                                                         const KestrixConfiguration &config,
                                                         const std::optional<QString> &codeBundleId)
{
    KestrixAppWithState app;
    const QJsonObject stats = kxObjectAtPath(report, QStringLiteral("system.application_stats"));
    // A report without the figures counts them as 0.
    const qint64 foreground = milliseconds(kxNumber(stats, "active_time_since_launch")).value_or(0);
    const qint64 background = milliseconds(kxNumber(stats, "background_time_since_launch")).value_or(0);
    app.durationInForeground = foreground;
    app.duration = foreground + background;
    app.inForeground = kxBool(stats, "application_in_foreground");
    app.isLaunching = kxValueAtPath(report, QStringLiteral("user.isLaunching")).toBool();
    app.populateFromCrashReport(report, config, codeBundleId);
    return app;
}

QJsonObject KestrixAppWithState::toDict() const
{
    return kxJsonObject(*this);
}

void KestrixAppWithState::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writeMembers(writer);
    writer.optional("duration", duration);
    writer.optional("durationInForeground", durationInForeground);
    writer.optional("inForeground", inForeground);
    writer.value("isLaunching", isLaunching);
    writer.endObject();
}

} // namespace kestrix
