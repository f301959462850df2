#pragma once

#include "platform/DBusMenuItem.h"

#include <QDBusContext>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>

class QAction;
class QMenu;

namespace plimsy {

// The tray's menu as a DBusMenu host reads it. Qt's own exporter shows names from data with its mnemonic
// marks half converted, answers a click on an entry a refresh removed as if it had landed, and announces
// each change a submenu's fill makes while the host opens it, one layout reading per item.
// This object stands in for Qt's at the menu's path on the tray's connection and reads the QMenu tree
// itself: an entry keeps its id while its QAction stays in its menu, and changes reach the host gathered,
// one announcement per changed submenu per turn of the event loop.
class DBusMenuExporter : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    static constexpr char MenuPath[] = "/MenuBar";

    // Takes the place of the menu Qt exported on the tray's connection, or returns null where Qt exported
    // none there.
    static DBusMenuExporter *takeOver(const QString &connectionName, QMenu *menu, QObject *parent);
    ~DBusMenuExporter() override;

    // Exports another menu, after Qt has exported it in its own way again.
    void setMenu(QMenu *menu);

    uint version() const;
    QString textDirection() const;
    QString status() const;
    QStringList iconThemePath() const;

    // QtDBus exports only what it finds the types of by the names written: lists are spelled out.
public Q_SLOTS:
    uint
    GetLayout(int parentId, int recursionDepth, const QStringList &propertyNames, plimsy::DBusMenuLayoutItem &layout);
    QList<plimsy::DBusMenuItemProperties> GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames);
    QDBusVariant GetProperty(int id, const QString &name);
    void Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp);
    QList<int> EventGroup(const QList<plimsy::DBusMenuEvent> &events);
    bool AboutToShow(int id);
    QList<int> AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors);

Q_SIGNALS:
    void ItemsPropertiesUpdated(const QList<plimsy::DBusMenuItemProperties> &updatedProps,
                                const QList<plimsy::DBusMenuItemKeys> &removedProps);
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // An exported QAction. `container` and `submenu` are exported menus (keys of m_menus) or null.
    struct Entry
    {
        QPointer<QAction> action;
        const QMenu *container = nullptr;
        QMenu *submenu = nullptr;
        QVariantMap properties;
    };
    // An exported QMenu: the id of the entry holding it (0 for the menu itself) and its entries in order.
    struct Menu
    {
        int holder = 0;
        QList<int> entries;
    };

    DBusMenuExporter(const QString &connectionName, QObject *parent);
    bool claimPath();

    int idOf(const QAction *action) const;
    QMenu *menuOf(int id) const;
    bool isKnown(int id) const;
    // Whether the submenu held by `holder` lies in the one held by `ancestor`, or is it.
    bool isWithin(int holder, int ancestor) const;
    QVariantMap propertiesOf(int id) const;
    DBusMenuLayoutItem layoutOf(int id, int depth, const QStringList &names) const;

    void exportMenu(QMenu *menu, int holder);
    void forgetMenu(const QMenu *menu);
    int addEntry(QAction *action, const QMenu *container);
    void dropEntry(int id);

    void noteMenu(const QMenu *menu);
    void noteEntry(int id);
    void noteLayout(int holder);
    // The noted changes reach the host once the event loop turns, gathered.
    void announceThisTurn();
    // Brings the exported tree up to date with the menus; what changed waits in the pending sets.
    void sync();
    void relist(const QMenu *menu);
    void restate(int id);
    // Tells the host its view is stale, for a request about an entry that is gone.
    void askToReread();
    // Runs what opening the submenu runs; what that changes is told in the answer alone when the host
    // reads the answer.
    bool open(int id, bool isAnswerRead);
    bool isAnswerRead() const;
    void announce();

    QString m_connectionName;
    QPointer<QMenu> m_menu;
    QHash<int, Entry> m_entries;
    QHash<const QAction *, int> m_ids;
    QHash<const QMenu *, Menu> m_menus;
    QSet<const QMenu *> m_changedMenus;
    QSet<int> m_changedEntries;
    // What the next announcement tells: submenus (by holder) to read again, and properties by entry.
    QSet<int> m_pendingLayouts;
    QHash<int, QVariantMap> m_pendingProperties;
    QHash<int, QStringList> m_pendingRemovals;
    uint m_revision = 1;
    int m_nextId = 1;
    bool m_isAnnouncing = false;

    Q_DISABLE_COPY_MOVE(DBusMenuExporter)
};

} // namespace plimsy
