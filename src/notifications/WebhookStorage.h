#pragma once

#include "notifications/WebhookRegistration.h"

#include <QList>
#include <QString>

#include <optional>

namespace plimsy {

class UserDefaults;

// Which Forge webhooks the application created, one per site, kept as a JSON array in the defaults.
// Holds nothing in memory: every call reads the stored list afresh. Callers keep concurrent saves apart.
class WebhookStorage
{
public:
    explicit WebhookStorage(UserDefaults &defaults);

    // Over the standard defaults.
    static WebhookStorage &shared();

    const QString storageKey = QStringLiteral("com.tindrel.plimsy.webhookRegistrations");

    std::optional<WebhookRegistration> registration(qint64 siteId) const;
    // Replaces every stored registration of the same site by this one, at the end of the list.
    void save(const WebhookRegistration &registration);
    // The stored list in order; unreadable entries are left out, the rest kept.
    QList<WebhookRegistration> loadRegistrations() const;
    void persistRegistrations(const QList<WebhookRegistration> &registrations);

private:
    UserDefaults &m_defaults;

    Q_DISABLE_COPY_MOVE(WebhookStorage)
};

} // namespace plimsy
