#pragma once

#include "crashreporter/core/KXCrashReportWriter.h"
#include "crashreporter/core/KXCrashState.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace kestrix {

// The one entry point of the crash core: prepares, while the process is healthy, everything the
// crash path needs (paths, report id, system facts, crash state) and installs the sentries.
class KX_CrashCore
{
public:
    static KX_CrashCore &sharedInstance();

    // Installs once and returns the crash types installed; later calls return the stored types.
    uint32_t install(uint32_t crashTypes, const QString &directory);

    uint32_t crashTypes() const;
    // After installation, removes the sentries no longer wanted and installs the new set.
    void setCrashTypes(uint32_t crashTypes);

    // Set by the client before installation.
    void setUserSectionCallback(KXCrashUserSectionCallback callback);
    void setThreadTracingEnabled(bool enabled);
    void setCrashTimeDeliveryCallback(void (*callback)());

    const KXCrashState &crashState() const;

    void applicationDidBecomeActive();
    void applicationWillResignActive();
    void applicationWillEnterForeground();
    void applicationDidEnterBackground();

    QString reportID() const;
    QString crashReportPath() const;
    QString recrashReportPath() const;
    QString crashStatePath() const;

private:
    KX_CrashCore();

    void loadAndStartCrashState();
    void observeApplicationState();

    bool m_isInstalled = false;
    QString m_directory;
    QString m_crashStatePath;
    std::unique_ptr<QObject> m_observerContext;

    Q_DISABLE_COPY_MOVE(KX_CrashCore)
};

} // namespace kestrix
