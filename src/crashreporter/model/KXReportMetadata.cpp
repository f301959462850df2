#include "crashreporter/model/KXReportMetadata.h"

#include "crashreporter/model/KXJSONFields.h"
#include "crashreporter/support/KXRunContext.h"

namespace kestrix {

namespace {

void copyMember(QJsonObject &to, const QString &key, const QJsonValue &value)
{
    if (!value.isUndefined() && !value.isNull()) {
        to.insert(key, value);
    }
}

} // namespace

QJsonObject kxAppMetadataFromReport(const QJsonObject &report)
{
    const QJsonObject system = kxObject(report, "system");
    QJsonObject section;
    copyMember(section, QStringLiteral("name"), system.value(QStringLiteral("CFBundleExecutable")));
    copyMember(section, QStringLiteral("runningOnRosetta"), system.value(QStringLiteral("proc_translated")));
    return section;
}

QJsonObject kxDeviceMetadataFromReport(const QJsonObject &report)
{
    QJsonObject section = kxObjectAtPath(report, QStringLiteral("user.state.deviceState"));
    const QJsonObject system = kxObject(report, "system");
    copyMember(section, QStringLiteral("timezone"), system.value(QStringLiteral("time_zone")));
    copyMember(section, QStringLiteral("macCatalystiOSVersion"), system.value(QStringLiteral("iOSSupportVersion")));
    section.insert(QStringLiteral("simulator"), false);
    section.insert(QStringLiteral("wordSize"), 64);
    return section;
}

QJsonObject kxAppMemoryMetadata(const KXRunContextData *context)
{
    QJsonObject section;
    if (context == nullptr) {
        return section;
    }
    const KXRunMemory memory = kxrunContextMemory(context);
    if (memory.memoryLimit != 0) {
        section.insert(QStringLiteral("freeMemory"), static_cast<qint64>(memory.memoryAvailable));
        section.insert(QStringLiteral("memoryLimit"), static_cast<qint64>(memory.memoryLimit));
    }
    if (memory.memoryFootprint != 0) {
        section.insert(QStringLiteral("memoryUsage"), static_cast<qint64>(memory.memoryFootprint));
    }
    return section;
}

QJsonObject kxDeviceThermalMetadata(const KXRunContextData *context)
{
    QJsonObject section;
    if (context != nullptr) {
        const QString name = KXRunContext::thermalStateName(context->thermalState);
        if (!name.isEmpty()) {
            section.insert(QStringLiteral("thermalState"), name);
        }
    }
    return section;
}

} // namespace kestrix
