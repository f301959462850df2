#pragma once

#include "menu/CustomServer.h"
#include "menu/CustomServerStore.h"
#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QPointer>
#include <QWidget>

#include <optional>

class QDialog;

namespace plimsy {

class PreferencesAddRemoveGadget;
class PreferencesNativeTable;

// The "Servers" tab: "Configure…" opens the Forge server settings sheet ("accountsChanged" when it ends
// after a change), and the custom servers are added, edited, deleted after a confirmation and reordered
// by dragging. Every change goes through the custom server store, which announces it, and the tab
// reloads from there. GUI thread.
class CustomServersTab : public QWidget
{
    Q_OBJECT

public:
    explicit CustomServersTab(PreferencesServices services, QWidget *parent = nullptr);

    const QList<CustomServer> &servers() const { return m_servers; }
    std::optional<QUuid> selectedServerID() const { return m_selectedServerID; }
    void setSelectedServerID(std::optional<QUuid> id);

    void reloadServers();
    void showServerSettings();
    void showAddForm();
    // The edit form for that server; nothing when it is not listed.
    void showEditForm(const QUuid &id);
    void showDeleteAlert();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateViews();
    std::optional<CustomServer> listedServer(const std::optional<QUuid> &id) const;
    void openForm(std::optional<CustomServer> editing);
    void completeForm(const std::optional<CustomServer> &result, bool isEdit);
    void moveServer(int from, int to);
    QCoro::Task<> confirmDelete(CustomServer server);
    void deleteServer(const QUuid &id);

    PreferencesServices m_services;
    CustomServerStore m_store;
    QList<CustomServer> m_servers;
    std::optional<QUuid> m_selectedServerID;
    PreferencesNativeTable *m_table;
    PreferencesAddRemoveGadget *m_gadget;
    QPointer<QDialog> m_sheet;
    bool m_isConfirmingDelete = false;

    Q_DISABLE_COPY_MOVE(CustomServersTab)
};

} // namespace plimsy
