#include "account/DeviceInfo.h"

#include "platform/BundleInfo.h"
#include "platform/DeviceIdentity.h"

namespace plimsy {

QString hardwareUUID()
{
    return DeviceIdentity::system().platformUUID();
}

QString appVersion()
{
    const QString version = QString::fromLatin1(BundleInfo::ShortVersion);
    return version.isEmpty() ? QStringLiteral("unknown") : version;
}

} // namespace plimsy
