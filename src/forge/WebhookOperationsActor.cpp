#include "forge/WebhookOperationsActor.h"

#include <QMutexLocker>

namespace plimsy {

WebhookOperationsActor &WebhookOperationsActor::shared()
{
    static WebhookOperationsActor s_shared;
    return s_shared;
}

bool WebhookOperationsActor::tryBegin(qint64 siteId)
{
    QMutexLocker lock(&m_mutex);
    if (m_inProgress.contains(siteId)) {
        return false;
    }
    m_inProgress.insert(siteId);
    return true;
}

void WebhookOperationsActor::end(qint64 siteId)
{
    QMutexLocker lock(&m_mutex);
    m_inProgress.remove(siteId);
}

bool WebhookOperationsActor::isInProgress(qint64 siteId) const
{
    QMutexLocker lock(&m_mutex);
    return m_inProgress.contains(siteId);
}

} // namespace plimsy
