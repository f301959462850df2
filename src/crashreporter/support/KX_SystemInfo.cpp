#include "crashreporter/support/KX_SystemInfo.h"

#include "crashreporter/core/KXBinaryImages.h"
#include "crashreporter/core/KXBufferedWriter.h"
#include "crashreporter/core/KXCrashState.h"
#include "platform/AppPaths.h"
#include "platform/BundleInfo.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QNetworkInterface>
#include <QTimeZone>
#include <QUuid>

#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>

namespace kestrix {

namespace {

QString readFirstLine(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readLine()).trimmed();
}

// NAME and VERSION_ID of /etc/os-release.
QString osReleaseValue(const QString &key)
{
    QFile file(QStringLiteral("/etc/os-release"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString prefix = key + QLatin1Char('=');
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(prefix)) {
            QString value = line.mid(prefix.size());
            if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"'))) {
                value = value.mid(1, value.size() - 2);
            }
            return value;
        }
    }
    return {};
}

QString uuidString(const uint8_t *uuid)
{
    if (uuid == nullptr) {
        return {};
    }
    const QByteArray bytes(reinterpret_cast<const char *>(uuid), 16);
    return QUuid::fromRfc4122(bytes).toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

QString KX_SystemInfo::architectureName(int32_t cpuType, int32_t cpuSubtype)
{
    switch (cpuType) {
    case 7:
        return QStringLiteral("x86");
    case 0x1000007:
        return QStringLiteral("x86_64");
    case 0x100000C:
        return cpuSubtype == 2 ? QStringLiteral("arm64e") : QStringLiteral("arm64");
    case 0x200000C:
        return QStringLiteral("arm64_32");
    case 12:
        switch (cpuSubtype) {
        case 6:
            return QStringLiteral("armv6");
        case 9:
            return QStringLiteral("armv7");
        case 10:
            return QStringLiteral("armv7f");
        case 11:
            return QStringLiteral("armv7s");
        case 12:
            return QStringLiteral("armv7k");
        case 13:
            return QStringLiteral("armv8");
        default:
            return {};
        }
    default:
        return {};
    }
}

void KX_SystemInfo::currentCPUType(int32_t *cpuType, int32_t *cpuSubtype)
{
    const QString name = machine();
    *cpuType = 0;
    *cpuSubtype = 0;
    if (name == QLatin1String("x86_64")) {
        *cpuType = 0x1000007;
        *cpuSubtype = 3;
    } else if (name == QLatin1String("aarch64") || name == QLatin1String("arm64")) {
        *cpuType = 0x100000C;
    } else if (name.size() == 4 && name.startsWith(QLatin1Char('i')) && name.endsWith(QLatin1String("86"))) {
        *cpuType = 7;
        *cpuSubtype = 3;
    } else if (name.startsWith(QLatin1String("armv7"))) {
        *cpuType = 12;
        *cpuSubtype = 9;
    } else if (name.startsWith(QLatin1String("armv6"))) {
        *cpuType = 12;
        *cpuSubtype = 6;
    }
}

QString KX_SystemInfo::currentArchitectureName()
{
    int32_t type = 0;
    int32_t subtype = 0;
    currentCPUType(&type, &subtype);
    return architectureName(type, subtype);
}

QString KX_SystemInfo::machine()
{
    struct utsname name;
    return uname(&name) == 0 ? QString::fromUtf8(name.machine) : QString();
}

QString KX_SystemInfo::model()
{
    return readFirstLine(QStringLiteral("/sys/class/dmi/id/product_name"));
}

QByteArray KX_SystemInfo::primaryHardwareAddress()
{
    QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    std::sort(interfaces.begin(), interfaces.end(), [](const QNetworkInterface &a, const QNetworkInterface &b) {
        return a.name() < b.name();
    });
    for (const QNetworkInterface &interface : interfaces) {
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        const QByteArray address = QByteArray::fromHex(interface.hardwareAddress().remove(QLatin1Char(':')).toLatin1());
        if (address.size() == 6 && address != QByteArray(6, 0)) {
            return address;
        }
    }
    return {};
}

QString KX_SystemInfo::deviceAndAppHash()
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(primaryHardwareAddress());
    hash.addData(machine().toUtf8());
    hash.addData(model().toUtf8());
    hash.addData(currentArchitectureName().toUtf8());
    hash.addData(QByteArray(plimsy::BundleInfo::Identifier));
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject KX_SystemInfo::systemInfoStatic()
{
    static const QJsonObject info = [] {
        QJsonObject result;
        result.insert(QStringLiteral("clang_version"), QStringLiteral(__VERSION__));
        struct utsname name;
        const bool hasName = uname(&name) == 0;
        const QString systemName = osReleaseValue(QStringLiteral("NAME"));
        result.insert(QStringLiteral("system_name"),
                      !systemName.isEmpty() ? systemName : QString::fromUtf8(hasName ? name.sysname : "Linux"));
        result.insert(QStringLiteral("system_version"), osReleaseValue(QStringLiteral("VERSION_ID")));
        result.insert(QStringLiteral("machine"), machine());
        const QString modelName = model();
        if (!modelName.isEmpty()) {
            result.insert(QStringLiteral("model"), modelName);
        }
        if (hasName) {
            result.insert(QStringLiteral("os_version"), QString::fromUtf8(name.release));
        }
        result.insert(QStringLiteral("CFBundleIdentifier"), QString::fromLatin1(plimsy::BundleInfo::Identifier));
        result.insert(QStringLiteral("CFBundleName"), QString::fromLatin1(plimsy::BundleInfo::Name));
        result.insert(QStringLiteral("CFBundleExecutable"),
                      QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).fileName());
        result.insert(QStringLiteral("CFBundleVersion"), QString::fromLatin1(plimsy::BundleInfo::BuildNumber));
        result.insert(QStringLiteral("CFBundleShortVersionString"),
                      QString::fromLatin1(plimsy::BundleInfo::ShortVersion));
        kximagesRefresh();
        const KXBinaryImage *main = kximagesMain();
        if (main != nullptr && main->uuid != nullptr) {
            result.insert(QStringLiteral("app_uuid"), uuidString(main->uuid));
        }
        int32_t type = 0;
        int32_t subtype = 0;
        currentCPUType(&type, &subtype);
        const QString cpuArch = architectureName(type, subtype);
        result.insert(QStringLiteral("cpu_arch"),
                      !cpuArch.isEmpty() ? cpuArch
                                         : QStringLiteral("unknown (type %1, subtype %2)").arg(type).arg(subtype));
        if (main != nullptr) {
            const QString binaryArch = architectureName(main->cpuType, main->cpuSubtype);
            if (!binaryArch.isEmpty()) {
                result.insert(QStringLiteral("binary_arch"), binaryArch);
            }
        }
        result.insert(QStringLiteral("device_app_hash"), deviceAndAppHash());
        result.insert(QStringLiteral("proc_translated"), false);
        return result;
    }();
    return info;
}

QJsonObject KX_SystemInfo::systemInfo(const KXCrashState *state)
{
    QJsonObject info = systemInfoStatic();
    const QDateTime now = QDateTime::currentDateTime();
    info.insert(QStringLiteral("time_zone"), now.timeZoneAbbreviation());
    const long pageSize = sysconf(_SC_PAGESIZE);
    QJsonObject memory;
    memory.insert(QStringLiteral("free"),
                  static_cast<double>(sysconf(_SC_AVPHYS_PAGES)) * static_cast<double>(pageSize));
    memory.insert(QStringLiteral("size"), static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(pageSize));
    info.insert(QStringLiteral("memory"), memory);
    unsigned long long freeBytes = 0;
    unsigned long long totalBytes = 0;
    if (kxfileSpace(QFile::encodeName(plimsy::AppPaths::caches()).constData(), &freeBytes, &totalBytes)) {
        QJsonObject disk;
        disk.insert(QStringLiteral("free"), static_cast<double>(freeBytes));
        disk.insert(QStringLiteral("size"), static_cast<double>(totalBytes));
        info.insert(QStringLiteral("disk"), disk);
    }
    const KXCrashState run = state != nullptr ? kxstateSnapshot(state) : KXCrashState{};
    if (run.appLaunchTime != 0) { // a started record
        QJsonObject stats;
        stats.insert(QStringLiteral("active_time_since_launch"), run.activeDurationSinceLaunch);
        stats.insert(QStringLiteral("background_time_since_launch"), run.backgroundDurationSinceLaunch);
        stats.insert(QStringLiteral("application_in_foreground"), run.applicationIsInForeground);
        info.insert(QStringLiteral("application_stats"), stats);
    }
    return info;
}

} // namespace kestrix
