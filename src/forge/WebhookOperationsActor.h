#pragma once

#include <QMutex>
#include <QSet>
#include <QtGlobal>

namespace plimsy {

// Which sites have a webhook creation running, so that two creations for one site never both post.
// Thread-safe.
class WebhookOperationsActor
{
public:
    static WebhookOperationsActor &shared();

    WebhookOperationsActor() = default;

    // False when a creation for the site is already running; otherwise marks it running.
    bool tryBegin(qint64 siteId);
    void end(qint64 siteId);
    bool isInProgress(qint64 siteId) const;

private:
    mutable QMutex m_mutex;
    QSet<qint64> m_inProgress;

    Q_DISABLE_COPY_MOVE(WebhookOperationsActor)
};

} // namespace plimsy
