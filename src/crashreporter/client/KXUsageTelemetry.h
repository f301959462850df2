#pragma once

#include <QJsonObject>

#include <optional>

namespace kestrix {

class KestrixConfiguration;

// How the crash reporter is used: its callback counts and the options set away from their
// defaults. None unless the configuration's telemetry has the usage bit (2).
std::optional<QJsonObject> kxUsageTelemetry(const KestrixConfiguration &configuration);

} // namespace kestrix
