#pragma once

#include "menu/CustomServer.h"

#include <QList>

namespace plimsy {

class UserDefaults;

// The custom-server list as stored in the defaults; every call reads it afresh. Each save announces
// "customServersDidChange".
class CustomServerStore
{
public:
    explicit CustomServerStore(UserDefaults &defaults);

    static constexpr const char *Key = "com.tindrel.plimsy.customServers";

    // Entries that do not decode are left out; the others are kept.
    QList<CustomServer> load() const;
    void save(const QList<CustomServer> &servers);
    // Replaces the stored entry with the same id; nothing when there is none.
    void update(const CustomServer &server);
    // Nothing unless both indexes are in range and differ.
    void move(qsizetype from, qsizetype to);

private:
    UserDefaults &m_defaults;
};

} // namespace plimsy
