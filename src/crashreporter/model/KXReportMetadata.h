#pragma once

#include "crashreporter/core/KXRunContextData.h"

#include <QJsonObject>

namespace kestrix {

// Metadata sections built from a report-shaped object (a crash report, or {"system": the live
// system information} at start).
// Section "app": "name" and "runningOnRosetta".
QJsonObject kxAppMetadataFromReport(const QJsonObject &report);
// Section "device": the crash-time device state, "timezone", "simulator" and "wordSize".
QJsonObject kxDeviceMetadataFromReport(const QJsonObject &report);

// Live figures of the run context for the same sections.
// "freeMemory", "memoryLimit" (when a limit is known) and "memoryUsage" (when known).
QJsonObject kxAppMemoryMetadata(const KXRunContextData *context);
// "thermalState" by name, when it has one.
QJsonObject kxDeviceThermalMetadata(const KXRunContextData *context);

} // namespace kestrix
