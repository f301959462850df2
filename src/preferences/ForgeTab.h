#pragma once

#include "core/Account.h"
#include "preferences/PreferencesServices.h"

#include <QCoro/QCoroTask>
#include <QIcon>
#include <QPointer>
#include <QWidget>

#include <optional>

class QDialog;

namespace plimsy {

class PreferencesAddRemoveGadget;
class PreferencesNativeTable;

// The "Forge Accounts" tab: the stored accounts in their order, added through the Add sheet, renamed
// through the rename sheet, removed after a confirmation together with their key, and reordered by
// dragging. Every change goes to the stored list first and the tab reloads from there; changes are
// announced with "accountsChanged", a new order with "accountsReordered". GUI thread.
class ForgeTab : public QWidget
{
    Q_OBJECT

public:
    explicit ForgeTab(PreferencesServices services, QWidget *parent = nullptr);

    const QList<Account> &accounts() const { return m_accounts; }
    std::optional<QString> selectedAccountUUID() const { return m_selectedAccountUUID; }
    void setSelectedAccountUUID(std::optional<QString> uuid);

    void reloadAccounts();
    void reorderAccounts(int from, int to);
    void deleteSelectedAccount();
    // Stores the trimmed new name of the selected account; none (a cancelled sheet) changes nothing.
    void renameSelectedAccount(const std::optional<QString> &name);

    void showAddAccount();
    void showDeleteAlert();
    void showRename();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void updateViews();
    std::optional<Account> selectedAccount() const;
    QCoro::Task<> confirmDelete();
    QCoro::Task<> runRename(QString name);
    void showError(const QString &title, const QString &detail);

    PreferencesServices m_services;
    QList<Account> m_accounts;
    std::optional<QString> m_selectedAccountUUID;
    PreferencesNativeTable *m_table;
    PreferencesAddRemoveGadget *m_gadget;
    QIcon m_keyIcon;
    QPointer<QDialog> m_sheet;
    bool m_isConfirmingDelete = false;

    Q_DISABLE_COPY_MOVE(ForgeTab)
};

} // namespace plimsy
