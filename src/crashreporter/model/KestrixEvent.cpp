#include "crashreporter/model/KestrixEvent.h"

#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXLogger.h"
#include "crashreporter/support/KXStringTruncation.h"

#include <QJsonDocument>

#include <set>

namespace kestrix {

KestrixEvent::KestrixEvent(KestrixAppWithState app,
                           KestrixDeviceWithState device,
                           KestrixHandledState handledState,
                           std::optional<KestrixUser> user,
                           KestrixMetadata metadata,
                           std::vector<KestrixBreadcrumb> breadcrumbs,
                           std::vector<KestrixError> errors,
                           std::vector<KestrixThread> threads,
                           std::optional<KestrixSession> session)
    : errors(std::move(errors))
    , breadcrumbs(std::move(breadcrumbs))
    , device(std::move(device))
    , app(std::move(app))
    , threads(std::move(threads))
    , user(std::move(user))
    , handledState(std::move(handledState))
    , metadata(std::move(metadata))
    , session(session ? std::optional(session->copy()) : std::nullopt)
{
}

bool KestrixEvent::shouldBeSent() const
{
    return KestrixConfiguration::isReleaseStageEnabled(enabledReleaseStages, releaseStage);
}

void KestrixEvent::setApiKey(const QString &apiKey)
{
    if (!KestrixConfiguration::isValidApiKey(apiKey)) {
        kxLogWarning(QStringLiteral("Attempted to set an invalid Event API key."));
        return;
    }
    m_apiKey = apiKey;
}

void KestrixEvent::setUser(const std::optional<QString> &id,
                           const std::optional<QString> &email,
                           const std::optional<QString> &name)
{
    user = KestrixUser{id, name, email};
}

void KestrixEvent::setCorrelation(const std::optional<QString> &traceId, const std::optional<QString> &spanId)
{
    correlation = KestrixCorrelation{traceId, spanId};
}

void KestrixEvent::attachCustomStacktrace(const QJsonArray &frames, const QString &type)
{
    if (errors.empty()) {
        return;
    }
    errors.front().stacktrace = KestrixStacktrace::fromJson(frames);
    errors.front().typeString = type;
}

void KestrixEvent::addFeatureFlag(const QString &name, const std::optional<QString> &variant)
{
    featureFlagStore.addFeatureFlag(name, variant);
}

void KestrixEvent::addFeatureFlags(const KestrixFeatureFlags &flags)
{
    featureFlagStore.addFeatureFlags(flags);
}

void KestrixEvent::clearFeatureFlag(const QString &name)
{
    featureFlagStore.clear(name);
}

void KestrixEvent::clearFeatureFlags()
{
    featureFlagStore.clear();
}

void KestrixEvent::symbolicateIfNeeded()
{
    for (KestrixError &error : errors) {
        for (KestrixStackframe &frame : error.stacktrace) {
            frame.symbolicateIfNeeded();
        }
    }
    for (KestrixThread &thread : threads) {
        for (KestrixStackframe &frame : thread.stacktrace) {
            frame.symbolicateIfNeeded();
        }
    }
}

void KestrixEvent::trimBreadcrumbs(qsizetype bytes)
{
    if (bytes <= 0 || breadcrumbs.empty()) {
        return;
    }
    qsizetype total = 0;
    size_t taken = 0;
    while (taken < breadcrumbs.size() && total < bytes) {
        KXJSONWriter writer;
        if (breadcrumbs[taken].writeJson(writer)) {
            total += writer.data().size();
        }
        taken++;
    }
    KestrixBreadcrumb note = breadcrumbs[taken - 1];
    note.metadata = {};
    const size_t older = taken - 1;
    note.message = older == 0 ? QStringLiteral("Removed to reduce payload size")
                              : QStringLiteral("Removed, along with %1 older breadcrumb%2, to reduce payload size")
                                    .arg(older)
                                    .arg(older == 1 ? QString() : QStringLiteral("s"));
    breadcrumbs.erase(breadcrumbs.begin(), breadcrumbs.begin() + static_cast<std::ptrdiff_t>(taken));
    breadcrumbs.insert(breadcrumbs.begin(), std::move(note));
    if (usage) {
        const QJsonObject removed{{QStringLiteral("breadcrumbBytesRemoved"), total},
                                  {QStringLiteral("breadcrumbsRemoved"), static_cast<qint64>(taken)}};
        usage = kxMergeObjects(QJsonObject{{QStringLiteral("system"), removed}}, *usage);
    }
}

void KestrixEvent::truncateStrings(qsizetype maxLength)
{
    KXTruncateContext truncation{maxLength, 0, 0};
    const auto cut = [&truncation](std::optional<QString> &text) {
        if (text) {
            text = kxTruncateString(truncation, *text);
        }
    };
    cut(context);
    for (KestrixError &error : errors) {
        cut(error.errorClass);
        cut(error.errorMessage);
    }
    for (KestrixBreadcrumb &breadcrumb : breadcrumbs) {
        breadcrumb.message = kxTruncateString(truncation, breadcrumb.message);
        breadcrumb.metadata = kxTruncateStrings(truncation, breadcrumb.metadata).toObject();
    }
    metadata = KestrixMetadata(kxTruncateStrings(truncation, metadata.toDictionary()).toObject());
    if (usage) {
        const QJsonObject truncated{{QStringLiteral("stringCharsTruncated"), truncation.lengthTruncated},
                                    {QStringLiteral("stringsTruncated"), truncation.stringsTruncated}};
        usage = kxMergeObjects(QJsonObject{{QStringLiteral("system"), truncated}}, *usage);
    }
}

QStringList KestrixEvent::stacktraceTypes() const
{
    std::set<QString> types;
    const auto addFrames = [&types](const std::vector<KestrixStackframe> &frames) {
        for (const KestrixStackframe &frame : frames) {
            if (frame.type) {
                types.insert(*frame.type);
            }
        }
    };
    // As they would be read back from the payload, custom frames included.
    const QJsonObject json = toJsonWithRedactedKeys({});
    for (const QJsonValue &entry : json.value(QStringLiteral("exceptions")).toArray()) {
        const KestrixError error = KestrixError::fromJson(entry.toObject());
        types.insert(error.typeString);
        addFrames(error.stacktrace);
    }
    for (const KestrixThread &thread : threads) {
        types.insert(thread.type == 0 ? QStringLiteral("cocoa") : QStringLiteral("reactnativejs"));
        addFrames(thread.stacktrace);
    }
    return {types.begin(), types.end()};
}

} // namespace kestrix
