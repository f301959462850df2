#include "notifications/WebhookRegistration.h"

#include "platform/JsonFields.h"

#include <QJsonValue>

#include <cmath>

namespace plimsy {

namespace {

const QDateTime &referenceDate()
{
    static const QDateTime s_reference(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return s_reference;
}

} // namespace

QJsonObject WebhookRegistration::toJson() const
{
    return {
        {QStringLiteral("siteId"), siteId},
        {QStringLiteral("serverId"), serverId},
        {QStringLiteral("webhookId"), webhookId},
        {QStringLiteral("createdAt"), static_cast<double>(referenceDate().msecsTo(createdAt)) / 1000.0},
    };
}

std::optional<WebhookRegistration> WebhookRegistration::fromJson(const QJsonObject &object)
{
    const auto siteId = JsonFields::integer(object, "siteId");
    const auto serverId = JsonFields::integer(object, "serverId");
    const auto webhookId = JsonFields::integer(object, "webhookId");
    const QJsonValue created = object.value(QLatin1String("createdAt"));
    if (!siteId || !serverId || !webhookId || !created.isDouble()) {
        return std::nullopt;
    }
    const auto msecs = static_cast<qint64>(std::llround(created.toDouble() * 1000.0));
    return WebhookRegistration{*siteId, *serverId, *webhookId, referenceDate().addMSecs(msecs)};
}

} // namespace plimsy
