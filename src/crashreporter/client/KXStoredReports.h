#pragma once

#include "crashreporter/model/KestrixEvent.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace kestrix {

// What a crash report file's bytes gave: an event, or why they are unusable.
struct KXCrashReportReading
{
    std::optional<KestrixEvent> event;
    // "File is empty", "Does not start with "{"", "Does not end with "}"", "JSON parsing error" or
    // "Invalid JSON payload"; empty when an event was made.
    QString corruptReason;
    QString errorDescription;
    // The report's sections written before the damage, for a report cut short.
    QStringList sectionsBeforeDamage;
};

// A crash report file as the crash core wrote it. Never throws, whatever the bytes.
KXCrashReportReading kxReadCrashReport(const QByteArray &bytes);

// A stored event file as the uploader wrote it; none unless the bytes hold a JSON object.
std::optional<KestrixEvent> kxReadStoredEvent(const QByteArray &bytes);

// The bytes as one JSON object; none otherwise.
std::optional<QJsonObject> kxReadJsonObject(const QByteArray &bytes);

} // namespace kestrix
