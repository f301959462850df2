#pragma once

#include "core/Account.h"
#include "core/Site.h"

#include <QAction>
#include <QCoro/QCoroTask>
#include <QList>
#include <QPointer>

#include <memory>
#include <optional>

class QMenu;

namespace plimsy {

class ForgeAPIController;
class StatusMenuController;

// Loads one account's servers and sites into the status menu for one refresh: lists the servers,
// drops revoked ones, sorts them, lists the sites per organisation (per server where an organisation's
// listing fails) and makes one item per server as it goes, which go into the menu together once the
// servers are done. Reports to the controller once, with
// didFinishLoading or a failure. A loader whose refresh has been superseded stops at its next step and
// reports nothing, so it never adds to a newer refresh's menu or counts.
class LoadServers : public std::enable_shared_from_this<LoadServers>
{
public:
    // `targetPosition`: where the first server item goes in `parentMenu`; absent appends.
    LoadServers(StatusMenuController *delegate, QMenu *parentMenu, std::optional<int> targetPosition);
    ~LoadServers();

    // Starts the loading task and returns at once; the task keeps the loader alive.
    void start(const Account &account);
    bool checkCompletion() const;
    static QList<Site> applyAccountSettings(QList<Site> sites, const Account &account);

    qint64 expectedServerCount() const { return m_expectedServerCount; }
    qint64 processedServerCount() const { return m_processedServerCount; }

private:
    static QCoro::Task<> load(std::shared_ptr<LoadServers> self,
                              std::shared_ptr<ForgeAPIController> forge,
                              std::shared_ptr<const Account> account);
    // The controller while this loader's refresh is still the current one.
    StatusMenuController *currentDelegate() const;
    QAction *addServerItem(const QString &title, qint64 id, bool isHidden, bool monitoring, QMenu *submenu);
    // Puts the server items made so far in place of the account's items of the last refresh, at once:
    // a tray host hears of one change, and entries that did not change keep theirs.
    void placeServerItems();
    // After a failed load: the items so far, and in an account's submenu left empty, what went wrong.
    void placeAfterFailure(const QString &why);
    void reportCompletion(const Account &account, const QString &line);

    QPointer<StatusMenuController> m_delegate;
    QPointer<QMenu> m_parentMenu;
    std::optional<int> m_targetPosition;
    bool m_hasNotifiedCompletion = false;
    qint64 m_expectedServerCount = 0;
    qint64 m_processedServerCount = 0;
    quint64 m_generation = 0;
    // Server items of this load, owned by the parent menu but not in it until the load is done.
    QList<QPointer<QAction>> m_serverItems;

    Q_DISABLE_COPY_MOVE(LoadServers)
};

} // namespace plimsy
