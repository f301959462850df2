#pragma once

#include <QDateTime>
#include <QJsonObject>

#include <optional>

namespace plimsy {

// A Forge deployment webhook that this application created on a site.
struct WebhookRegistration
{
    qint64 siteId = 0;
    qint64 serverId = 0;
    qint64 webhookId = 0;
    QDateTime createdAt;

    // "createdAt" is stored as seconds since 2001-01-01 00:00:00 UTC, with fraction.
    QJsonObject toJson() const;
    // No result when a key is missing or has the wrong type.
    static std::optional<WebhookRegistration> fromJson(const QJsonObject &object);

    bool operator==(const WebhookRegistration &) const = default;
};

} // namespace plimsy
