#include "app/LegacyLoginItemCleanup.h"

#include "core/Logger.h"
#include "platform/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace plimsy {

namespace {

QString defaultEntryPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/%1.desktop").arg(QLatin1String(LegacyLoginItemCleanup::Label)));
}

QString word(bool value)
{
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

} // namespace

LegacyLoginItemCleanup::LegacyLoginItemCleanup(UserDefaults &defaults, QString entryPath)
    : m_defaults(defaults)
    , m_entryPath(entryPath.isEmpty() ? defaultEntryPath() : std::move(entryPath))
{
}

bool LegacyLoginItemCleanup::isRegistered() const
{
    return QFileInfo::exists(m_entryPath);
}

bool LegacyLoginItemCleanup::disable()
{
    return QFile::remove(m_entryPath) || !isRegistered();
}

void LegacyLoginItemCleanup::run()
{
    const QString label = QLatin1String(Label);
    const qint64 attempts = m_defaults.integer(QLatin1String(AttemptsKey));
    if (attempts >= MaxAttempts) {
        return;
    }
    if (!isRegistered()) {
        m_defaults.remove(QLatin1String(AutolaunchKey));
        m_defaults.remove(QLatin1String(AttemptsKey));
        return;
    }
    log(QStringLiteral("[Cleanup] Legacy login item %1 is registered with launchd — disabling (attempt %2/%3)")
            .arg(label)
            .arg(attempts + 1)
            .arg(MaxAttempts));
    const bool result = disable();
    const bool stillRegistered = isRegistered();
    m_defaults.remove(QLatin1String(AutolaunchKey));
    if (stillRegistered) {
        m_defaults.setValue(QLatin1String(AttemptsKey), attempts + 1);
        log(QStringLiteral("[Cleanup] WARNING: launchd still lists %1 after disable (returned %2). May be stuck; "
                           "user can remove %3")
                .arg(label, word(result), m_entryPath));
        return;
    }
    m_defaults.remove(QLatin1String(AttemptsKey));
    log(QStringLiteral("[Cleanup] Legacy login item removed (SMLoginItemSetEnabled returned %1)").arg(word(result)));
}

} // namespace plimsy
