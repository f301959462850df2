#include "notifications/WebhookStorage.h"

#include "platform/JsonFields.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>

namespace plimsy {

WebhookStorage::WebhookStorage(UserDefaults &defaults)
    : m_defaults(defaults)
{
}

WebhookStorage &WebhookStorage::shared()
{
    static auto *s_storage = new WebhookStorage(UserDefaults::standard());
    return *s_storage;
}

std::optional<WebhookRegistration> WebhookStorage::registration(qint64 siteId) const
{
    const QList<WebhookRegistration> registrations = loadRegistrations();
    for (const WebhookRegistration &entry : registrations) {
        if (entry.siteId == siteId) {
            return entry;
        }
    }
    return std::nullopt;
}

void WebhookStorage::save(const WebhookRegistration &registration)
{
    QList<WebhookRegistration> registrations = loadRegistrations();
    registrations.removeIf([&](const WebhookRegistration &entry) { return entry.siteId == registration.siteId; });
    registrations.append(registration);
    persistRegistrations(registrations);
}

QList<WebhookRegistration> WebhookStorage::loadRegistrations() const
{
    // One damaged entry must not hide the others: forgetting a registration would orphan its webhook
    // on Forge, with no way left to switch it off from here.
    return JsonFields::decodeEach<WebhookRegistration>(m_defaults.json(storageKey), &WebhookRegistration::fromJson);
}

void WebhookStorage::persistRegistrations(const QList<WebhookRegistration> &registrations)
{
    m_defaults.setJson(storageKey, JsonFields::encodeEach(registrations));
}

} // namespace plimsy
