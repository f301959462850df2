#pragma once

#include "core/Server.h"
#include "core/Site.h"
#include "preferences/SettingsRecords.h"

#include <QObject>

namespace plimsy {

// What the site monitor settings sheet shows and writes: the loaded sites, the selected one, its
// server's name, whether its account leaves it out of the site checks, and its URL alias. The check box
// is written at once; the alias when committed. `didChangeSettings` tells the sheet's owner that
// something was written. GUI thread.
class SiteMonitorSettingsViewModel : public QObject
{
    Q_OBJECT

public:
    using ServerLookup = std::function<std::optional<Server>(qint64 serverId)>;

    // Lists the sites once each, ordered by name, and selects the first.
    SiteMonitorSettingsViewModel(const QList<Site> &sites,
                                 FindAccount findAccount,
                                 UpdateAccount updateAccount,
                                 ServerLookup serverLookup,
                                 QObject *parent = nullptr);

    const QList<Site> &sites() const { return m_sites; }
    std::optional<qint64> selectedSiteId() const { return m_selectedSiteId; }
    std::optional<Site> selectedSite() const;
    bool monitoringDisabled() const { return m_monitoringDisabled; }
    const QString &urlAlias() const { return m_urlAlias; }
    const QString &serverName() const { return m_serverName; }
    bool didChangeSettings() const { return m_didChangeSettings; }

    // Selects the site (none clears the selection) and loads its values; an alias typed and not
    // committed is dropped.
    void selectSite(std::optional<qint64> id);
    void setMonitoringDisabled(bool disabled);
    // Keeps the text; nothing is written until it is committed.
    void setUrlAlias(const QString &alias);
    // Writes the shown values of the selected site into its account. The alias is stored trimmed; a
    // blank one removes the site's entry.
    void save();
    // Saves only when the alias differs from the stored one.
    void commitAlias();

Q_SIGNALS:
    // A shown value or the selection changed.
    void changed();

private:
    FindAccount m_findAccount;
    UpdateAccount m_updateAccount;
    ServerLookup m_serverLookup;
    QList<Site> m_sites;
    std::optional<qint64> m_selectedSiteId;
    bool m_monitoringDisabled = false;
    QString m_urlAlias;
    QString m_serverName;
    bool m_didChangeSettings = false;

    Q_DISABLE_COPY_MOVE(SiteMonitorSettingsViewModel)
};

} // namespace plimsy
