#include "notifications/SiteMonitorManager.h"

#include "core/Logger.h"

#include <QTimer>

#include <algorithm>

namespace plimsy {

SiteMonitorManager::SiteMonitorManager(SiteMonitorDelegate *delegate, QObject *parent)
    : QObject(parent)
    , m_delegate(delegate)
{
}

void SiteMonitorManager::checkAllSites()
{
    if (m_isChecking) {
        return;
    }
    m_isChecking = true;
    Logger::shared().log(QStringLiteral("Site checks are not available in this build; sites stay unchecked"),
                         QStringLiteral("SiteMonitor"));
    QTimer::singleShot(0, this, [this] {
        m_isChecking = false;
        if (m_delegate) {
            m_delegate->siteMonitorDidFinish();
        }
    });
}

qint64 SiteMonitorManager::setMonitorInterval(qint64 value,
                                              const QList<qint64> &allowed,
                                              qint64 fallback,
                                              UserDefaults &defaults)
{
    if (allowed.contains(value)) {
        return value;
    }
    const qint64 smallest = allowed.isEmpty() ? fallback : *std::min_element(allowed.begin(), allowed.end());
    const qint64 used = value < smallest ? smallest : fallback;
    defaults.setValue(QStringLiteral("monitorSitesInterval"), used);
    return used;
}

} // namespace plimsy
