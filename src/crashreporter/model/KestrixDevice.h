#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>

#include <optional>

namespace kestrix {

class KXJSONWriter;

// The machine that reported.
struct KestrixDevice
{
    bool jailbroken = false;
    std::optional<QString> id;
    std::optional<QString> locale;
    std::optional<QString> manufacturer;
    std::optional<QString> model;
    std::optional<QString> modelNumber;
    std::optional<QString> osName;
    std::optional<QString> osVersion;
    std::optional<QJsonObject> runtimeVersions;
    std::optional<qint64> totalMemory;

    // The id is always this machine's persistent id, whatever the JSON holds.
    static KestrixDevice fromJson(const QJsonObject &json);
    static KestrixDevice fromCrashReport(const QJsonObject &report);
    // Merges `info` into the runtime versions; its entries win.
    void appendRuntimeInfo(const QJsonObject &info);
    QJsonObject toDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;

    // The maker of this machine as its firmware names it; none when unreadable.
    static std::optional<QString> currentManufacturer();

protected:
    void readJson(const QJsonObject &json);
    void writeMembers(KXJSONWriter &writer) const;
    void populateFromCrashReport(const QJsonObject &report);
};

// The machine with its state at the time of the error.
struct KestrixDeviceWithState : KestrixDevice
{
    std::optional<qint64> freeDisk;
    std::optional<qint64> freeMemory;
    std::optional<QString> orientation;
    std::optional<QDateTime> time;

    // Reads the id from the JSON, unlike the plain device.
    static KestrixDeviceWithState fromJson(const QJsonObject &json);
    static KestrixDeviceWithState fromCrashReport(const QJsonObject &report);
    QJsonObject toDictionary() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
};

} // namespace kestrix
