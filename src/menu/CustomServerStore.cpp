#include "menu/CustomServerStore.h"

#include "core/NotificationNames.h"
#include "platform/JsonFields.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QJsonArray>

namespace plimsy {

CustomServerStore::CustomServerStore(UserDefaults &defaults)
    : m_defaults(defaults)
{
}

QList<CustomServer> CustomServerStore::load() const
{
    return JsonFields::decodeEach<CustomServer>(m_defaults.json(QLatin1String(Key)), &CustomServer::fromJson);
}

void CustomServerStore::save(const QList<CustomServer> &servers)
{
    m_defaults.setJson(QLatin1String(Key), JsonFields::encodeEach(servers));
    NotificationCenter::defaultCenter().post(NotificationNames::customServersDidChange);
}

void CustomServerStore::update(const CustomServer &server)
{
    QList<CustomServer> servers = load();
    for (CustomServer &entry : servers) {
        if (entry.id == server.id) {
            entry = server;
            save(servers);
            return;
        }
    }
}

void CustomServerStore::move(qsizetype from, qsizetype to)
{
    QList<CustomServer> servers = load();
    const qsizetype count = servers.size();
    if (from == to || from < 0 || to < 0 || from >= count || to >= count) {
        return;
    }
    servers.move(from, to);
    save(servers);
}

} // namespace plimsy
