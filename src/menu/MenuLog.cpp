#include "menu/MenuLog.h"

#include "core/Logger.h"
#include "platform/UserDefaults.h"

namespace plimsy {

void verboseLog(const UserDefaults &defaults, const QString &line)
{
    if (defaults.boolValue(VerboseLoggingKey)) {
        plimsyLog(line);
    }
}

void plimsyLog(const QString &line)
{
    Logger::shared().log(line, QStringLiteral("Plimsy"));
}

} // namespace plimsy
