#pragma once

#include "core/Server.h"
#include "preferences/SettingsRecords.h"

#include <QObject>

namespace plimsy {

// What the server settings sheet shows and writes: the loaded servers, the selected one, and whether
// its account hides it from the menu and reaches it by its internal IP. Each change is written into
// the stored account at once; `didChangeSettings` tells the sheet's owner that one was. GUI thread.
class ServerSettingsViewModel : public QObject
{
    Q_OBJECT

public:
    // Lists the servers once each, ordered by name, and selects the first.
    ServerSettingsViewModel(const QList<Server> &servers,
                            FindAccount findAccount,
                            UpdateAccount updateAccount,
                            QObject *parent = nullptr);

    const QList<Server> &servers() const { return m_servers; }
    std::optional<qint64> selectedServerId() const { return m_selectedServerId; }
    std::optional<Server> selectedServer() const;
    bool isHidden() const { return m_isHidden; }
    bool useInternalIp() const { return m_useInternalIp; }
    bool didChangeSettings() const { return m_didChangeSettings; }

    // Selects the server (none clears the selection) and loads its values from its account.
    void selectServer(std::optional<qint64> id);
    void setHidden(bool isHidden);
    void setUseInternalIp(bool useInternalIp);
    // Writes both values of the selected server into its account; nothing when it has no stored account.
    void save();

Q_SIGNALS:
    // A shown value or the selection changed.
    void changed();

private:
    FindAccount m_findAccount;
    UpdateAccount m_updateAccount;
    QList<Server> m_servers;
    std::optional<qint64> m_selectedServerId;
    bool m_isHidden = false;
    bool m_useInternalIp = false;
    bool m_didChangeSettings = false;

    Q_DISABLE_COPY_MOVE(ServerSettingsViewModel)
};

} // namespace plimsy
