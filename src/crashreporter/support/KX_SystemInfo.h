#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <cstdint>

namespace kestrix {

struct KXCrashState;

// The system facts that go into every crash report.
class KX_SystemInfo
{
public:
    // Built once: compiler, system, machine, bundle, image and architecture facts.
    static QJsonObject systemInfoStatic();
    // The static facts plus time zone, memory, disk and, when given, the application's durations up to
    // now (the state itself is left as it is).
    static QJsonObject systemInfo(const KXCrashState *state = nullptr);

    // Architecture names by CPU type and subtype; empty when unknown.
    static QString architectureName(int32_t cpuType, int32_t cpuSubtype);
    // The running system's CPU type and subtype.
    static void currentCPUType(int32_t *cpuType, int32_t *cpuSubtype);
    static QString currentArchitectureName();

    // The hardware address of the first non-loopback network interface (by name); empty when none.
    static QByteArray primaryHardwareAddress();
    // The machine's kernel architecture ("x86_64") and model (the firmware's product name).
    static QString machine();
    static QString model();

    static QString deviceAndAppHash();
};

} // namespace kestrix
