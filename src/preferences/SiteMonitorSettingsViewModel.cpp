#include "preferences/SiteMonitorSettingsViewModel.h"

namespace plimsy {

namespace {

QString storedAlias(const Account &account, qint64 siteId)
{
    return account.aliasSiteToURL.value_or(QMap<qint64, QString>()).value(siteId);
}

} // namespace

SiteMonitorSettingsViewModel::SiteMonitorSettingsViewModel(const QList<Site> &sites,
                                                           FindAccount findAccount,
                                                           UpdateAccount updateAccount,
                                                           ServerLookup serverLookup,
                                                           QObject *parent)
    : QObject(parent)
    , m_findAccount(std::move(findAccount))
    , m_updateAccount(std::move(updateAccount))
    , m_serverLookup(std::move(serverLookup))
    , m_sites(settingsListOrder(sites))
{
    if (!m_sites.isEmpty()) {
        selectSite(m_sites.first().id);
    }
}

std::optional<Site> SiteMonitorSettingsViewModel::selectedSite() const
{
    return recordWithId(m_sites, m_selectedSiteId);
}

void SiteMonitorSettingsViewModel::selectSite(std::optional<qint64> id)
{
    m_selectedSiteId = id;
    m_monitoringDisabled = false;
    m_urlAlias.clear();
    m_serverName.clear();
    const std::optional<Site> site = selectedSite();
    if (site && site->serverId) {
        if (const std::optional<Server> server = m_serverLookup(*site->serverId)) {
            m_serverName = server->name.value_or(QString());
        }
    }
    if (const std::optional<Account> account = owningAccount(site, m_findAccount)) {
        m_monitoringDisabled = account->ignoredMonitoringSites.value_or(QList<qint64>()).contains(site->id);
        m_urlAlias = storedAlias(*account, site->id);
    }
    Q_EMIT changed();
}

void SiteMonitorSettingsViewModel::setMonitoringDisabled(bool disabled)
{
    if (disabled != m_monitoringDisabled) {
        m_monitoringDisabled = disabled;
        Q_EMIT changed();
    }
}

void SiteMonitorSettingsViewModel::setUrlAlias(const QString &alias)
{
    if (alias != m_urlAlias) {
        m_urlAlias = alias;
        Q_EMIT changed();
    }
}

void SiteMonitorSettingsViewModel::save()
{
    const std::optional<Site> site = selectedSite();
    std::optional<Account> account = owningAccount(site, m_findAccount);
    if (!account) {
        return;
    }
    if (account->ignoredMonitoringSites) {
        account->ignoredMonitoringSites->removeOne(site->id);
    }
    if (m_monitoringDisabled) {
        account->addIgnoredMonitoringSite(site->id);
    }
    // Blanks around an address are never part of it, and an alias of blanks would replace the site's
    // address with nothing.
    QMap<qint64, QString> aliases = account->aliasSiteToURL.value_or(QMap<qint64, QString>());
    aliases.remove(site->id);
    const QString alias = m_urlAlias.trimmed();
    if (!alias.isEmpty()) {
        aliases.insert(site->id, alias);
    }
    account->aliasSiteToURL = aliases;
    m_updateAccount(*account);
    m_didChangeSettings = true;
    setUrlAlias(alias);
}

void SiteMonitorSettingsViewModel::commitAlias()
{
    const std::optional<Site> site = selectedSite();
    const std::optional<Account> account = owningAccount(site, m_findAccount);
    if (account && m_urlAlias.trimmed() != storedAlias(*account, site->id)) {
        save();
    }
}

} // namespace plimsy
