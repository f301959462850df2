#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/model/KestrixConfiguration.h"

#include <QJsonObject>
#include <QString>

#include <atomic>

namespace kestrix {

// What the client adds to a crash report's user section, prepared while the process is healthy and
// written at crash time from C buffers and the run context only.
class KXCrashTimeUserSection
{
public:
    // Kept current by the client's two metadata stores (KestrixMetadata::setStorageBuffer).
    static std::atomic<char *> metadataBuffer;
    static std::atomic<char *> stateBuffer;

    // The configuration's dictionary representation, as "config".
    static void setConfiguration(const KestrixConfiguration &configuration);
    // Usage telemetry, as "_usage"; an empty object removes it.
    static void setUsage(const QJsonObject &usage);
    // The file created at crash time to tell the next launch that the crash was recorded.
    static void setHandledCrashFlagPath(const QString &path);
    // Called last, with the writer.
    static void setCrashHandler(KestrixOnCrashHandler handler);

    // The crash core's user-section callback: the session, "config", "metaData", "state", "app"
    // (memory figures), "isLaunching", "thermalState", "breadcrumbs", "featureFlags" and "_usage".
    static void write(const KXCrashReportWriter *writer, bool requiresAsyncSafety);
};

} // namespace kestrix
