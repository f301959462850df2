#include "preferences/ServerSettingsViewModel.h"

namespace plimsy {

ServerSettingsViewModel::ServerSettingsViewModel(const QList<Server> &servers,
                                                 FindAccount findAccount,
                                                 UpdateAccount updateAccount,
                                                 QObject *parent)
    : QObject(parent)
    , m_findAccount(std::move(findAccount))
    , m_updateAccount(std::move(updateAccount))
    , m_servers(settingsListOrder(servers))
{
    if (!m_servers.isEmpty()) {
        selectServer(m_servers.first().id);
    }
}

std::optional<Server> ServerSettingsViewModel::selectedServer() const
{
    return recordWithId(m_servers, m_selectedServerId);
}

void ServerSettingsViewModel::selectServer(std::optional<qint64> id)
{
    m_selectedServerId = id;
    m_isHidden = false;
    m_useInternalIp = false;
    const std::optional<Server> server = selectedServer();
    if (const std::optional<Account> account = owningAccount(server, m_findAccount)) {
        m_isHidden = account->hiddenServers.value_or(QList<qint64>()).contains(server->id);
        m_useInternalIp = account->useInternalIpForServers.value_or(QList<qint64>()).contains(server->id);
    }
    Q_EMIT changed();
}

void ServerSettingsViewModel::setHidden(bool isHidden)
{
    if (isHidden != m_isHidden) {
        m_isHidden = isHidden;
        Q_EMIT changed();
    }
}

void ServerSettingsViewModel::setUseInternalIp(bool useInternalIp)
{
    if (useInternalIp != m_useInternalIp) {
        m_useInternalIp = useInternalIp;
        Q_EMIT changed();
    }
}

void ServerSettingsViewModel::save()
{
    const std::optional<Server> server = selectedServer();
    std::optional<Account> account = owningAccount(server, m_findAccount);
    if (!account) {
        return;
    }
    if (account->hiddenServers) {
        account->hiddenServers->removeOne(server->id);
    }
    if (account->useInternalIpForServers) {
        account->useInternalIpForServers->removeOne(server->id);
    }
    if (m_useInternalIp) {
        account->addInternalIpServer(server->id);
    }
    if (m_isHidden) {
        account->addHiddenServer(server->id);
    }
    m_updateAccount(*account);
    m_didChangeSettings = true;
}

} // namespace plimsy
