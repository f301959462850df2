#include "crashreporter/model/KestrixDevice.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXJSONWriter.h"
#include "crashreporter/support/KXPersistentDeviceID.h"
#include "crashreporter/support/KX_RFC3339DateTool.h"

#include <QFile>
#include <QLocale>

namespace kestrix {

std::optional<QString> KestrixDevice::currentManufacturer()
{
    static const std::optional<QString> vendor = []() -> std::optional<QString> {
        QFile file(QStringLiteral("/sys/class/dmi/id/sys_vendor"));
        if (!file.open(QIODevice::ReadOnly)) {
            return std::nullopt;
        }
        const QString text = QString::fromUtf8(file.readLine()).trimmed();
        return text.isEmpty() ? std::nullopt : std::optional(text);
    }();
    return vendor;
}

void KestrixDevice::readJson(const QJsonObject &json)
{
    jailbroken = kxBool(json, "jailbroken").value_or(false);
    locale = kxString(json, "locale");
    manufacturer = kxString(json, "manufacturer");
    model = kxString(json, "model");
    modelNumber = kxString(json, "modelNumber");
    osName = kxString(json, "osName");
    osVersion = kxString(json, "osVersion");
    const QJsonValue runtime = json.value(QStringLiteral("runtimeVersions"));
    runtimeVersions = runtime.isObject() ? std::optional(runtime.toObject()) : std::nullopt;
    totalMemory = kxInteger(json, "totalMemory");
}

KestrixDevice KestrixDevice::fromJson(const QJsonObject &json)
{
    KestrixDevice device;
    device.readJson(json);
    device.id = KXPersistentDeviceID::current().external();
    return device;
}

void KestrixDevice::populateFromCrashReport(const QJsonObject &report)
{
    const QJsonObject system = kxObject(report, "system");
    jailbroken = kxBool(system, "jailbroken").value_or(false);
    model = kxString(system, "machine");
    modelNumber = kxString(system, "model");
    osName = kxString(system, "system_name");
    osVersion = kxString(system, "system_version");
    totalMemory = kxInteger(kxObject(system, "memory"), "size");
    id = KXPersistentDeviceID::current().external();
    locale = QLocale().name();
    manufacturer = currentManufacturer();
    QJsonObject runtime;
    if (const auto build = kxString(system, "os_version")) {
        runtime.insert(QStringLiteral("osBuild"), *build);
    }
    if (const auto compiler = kxString(system, "clang_version")) {
        runtime.insert(QStringLiteral("clangVersion"), *compiler);
    }
    runtimeVersions = runtime;
}

KestrixDevice KestrixDevice::fromCrashReport(const QJsonObject &report)
{
    KestrixDevice device;
    device.populateFromCrashReport(report);
    return device;
}

void KestrixDevice::appendRuntimeInfo(const QJsonObject &info)
{
    QJsonObject merged = runtimeVersions.value_or(QJsonObject());
    for (auto it = info.begin(); it != info.end(); ++it) {
        merged.insert(it.key(), it.value());
    }
    runtimeVersions = merged;
}

QJsonObject KestrixDevice::toDictionary() const
{
    return kxJsonObject(*this);
}

void KestrixDevice::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writeMembers(writer);
    writer.endObject();
}

void KestrixDevice::writeMembers(KXJSONWriter &writer) const
{
    writer.value("jailbroken", jailbroken);
    writer.optional("id", id);
    writer.optional("locale", locale);
    writer.optional("manufacturer", manufacturer);
    writer.optional("model", model);
    writer.optional("modelNumber", modelNumber);
    writer.optional("osName", osName);
    writer.optional("osVersion", osVersion);
    if (runtimeVersions) {
        writer.value("runtimeVersions", *runtimeVersions);
    }
    writer.optional("totalMemory", totalMemory);
}

KestrixDeviceWithState KestrixDeviceWithState::fromJson(const QJsonObject &json)
{
    KestrixDeviceWithState device;
    device.readJson(json);
    device.id = kxString(json, "id");
    device.freeMemory = kxInteger(json, "freeMemory");
    device.freeDisk = kxInteger(json, "freeDisk");
    device.orientation = kxString(json, "orientation");
    if (const auto time = kxString(json, "time")) {
        const QDateTime date = KX_RFC3339DateTool::dateFromString(*time);
        device.time = date.isValid() ? std::optional(date) : std::nullopt;
    }
    return device;
}

KestrixDeviceWithState KestrixDeviceWithState::fromCrashReport(const QJsonObject &report)
{
    KestrixDeviceWithState device;
    device.populateFromCrashReport(report);
    const QJsonValue orientation = kxValueAtPath(report, QStringLiteral("user.state.deviceState.orientation"));
    device.orientation = orientation.isString() ? std::optional(orientation.toString()) : std::nullopt;
    device.freeMemory = kxInteger(kxObjectAtPath(report, QStringLiteral("system.memory")), "free");
    device.freeDisk = kxInteger(kxObjectAtPath(report, QStringLiteral("system.disk")), "free");
    if (const auto timestamp = kxString(kxObject(report, "report"), "timestamp")) {
        const QDateTime date = KX_RFC3339DateTool::dateFromString(*timestamp);
        device.time = date.isValid() ? std::optional(date) : std::nullopt;
    }
    const QJsonValue extra = kxValueAtPath(report, QStringLiteral("user.state.device.extraRuntimeInfo"));
    if (extra.isObject()) {
        device.appendRuntimeInfo(extra.toObject());
    }
    return device;
}

QJsonObject KestrixDeviceWithState::toDictionary() const
{
    return kxJsonObject(*this);
}

void KestrixDeviceWithState::writeJson(KXJSONWriter &writer, const char *key) const
{
    writer.beginObject(key);
    writeMembers(writer);
    writer.optional("freeDisk", freeDisk);
    writer.optional("freeMemory", freeMemory);
    writer.optional("orientation", orientation);
    if (time) {
        writer.value("time", KX_RFC3339DateTool::stringFromDate(*time));
    }
    writer.endObject();
}

} // namespace kestrix
