#include "platform/DBusMenuExporter.h"

#include "platform/StatusNotifierIcon.h"

#include <QAction>
#include <QActionEvent>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QLocale>
#include <QLoggingCategory>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <utility>

Q_LOGGING_CATEGORY(lcDBusMenuExporter, "plimsy.statusitem")

namespace plimsy {

namespace {

const QString ClickedEvent = QStringLiteral("clicked");

} // namespace

DBusMenuExporter *DBusMenuExporter::takeOver(const QString &connectionName, QMenu *menu, QObject *parent)
{
    DBusMenuItem::registerTypes();
    QDBusConnection bus(connectionName);
    QObject *qtMenu = bus.isConnected() ? bus.objectRegisteredAt(QLatin1String(MenuPath)) : nullptr;
    if (!qtMenu || qobject_cast<DBusMenuExporter *>(qtMenu)) {
        return nullptr;
    }
    auto *exporter = new DBusMenuExporter(connectionName, parent);
    if (!exporter->claimPath()) {
        bus.registerObject(QLatin1String(MenuPath), qtMenu, QDBusConnection::ExportAdaptors);
        delete exporter;
        return nullptr;
    }
    exporter->setMenu(menu);
    return exporter;
}

DBusMenuExporter::DBusMenuExporter(const QString &connectionName, QObject *parent)
    : QObject(parent)
    , m_connectionName(connectionName)
{
}

DBusMenuExporter::~DBusMenuExporter()
{
    QDBusConnection bus(m_connectionName);
    if (bus.objectRegisteredAt(QLatin1String(MenuPath)) == this) {
        bus.unregisterObject(QLatin1String(MenuPath));
    }
}

bool DBusMenuExporter::claimPath()
{
    QDBusConnection bus(m_connectionName);
    if (bus.objectRegisteredAt(QLatin1String(MenuPath)) == this) {
        return true;
    }
    bus.unregisterObject(QLatin1String(MenuPath));
    if (!bus.registerObject(QLatin1String(MenuPath),
                            this,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                | QDBusConnection::ExportAllProperties)) {
        qCWarning(lcDBusMenuExporter) << "The tray menu could not be exported with its names as they are";
        return false;
    }
    return true;
}

void DBusMenuExporter::setMenu(QMenu *menu)
{
    // Qt puts its own export back when the tray's menu changes.
    claimPath();
    if (menu == m_menu && menu) {
        return;
    }
    for (auto exported = m_menus.cbegin(); exported != m_menus.cend(); ++exported) {
        auto *watched = const_cast<QMenu *>(exported.key());
        watched->removeEventFilter(this);
        disconnect(watched, &QObject::destroyed, this, nullptr);
    }
    m_entries.clear();
    m_ids.clear();
    m_menus.clear();
    m_changedMenus.clear();
    m_changedEntries.clear();
    m_pendingLayouts.clear();
    m_pendingProperties.clear();
    m_pendingRemovals.clear();
    m_menu = menu;
    if (menu) {
        exportMenu(menu, 0);
    }
    noteLayout(0);
}

uint DBusMenuExporter::version() const
{
    // What Qt's exporter answered: hosts see the same menu server as before.
    return 4;
}

QString DBusMenuExporter::textDirection() const
{
    return QLocale().textDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr");
}

QString DBusMenuExporter::status() const
{
    return QStringLiteral("normal");
}

QStringList DBusMenuExporter::iconThemePath() const
{
    return {StatusNotifierIcon::themePath()};
}

int DBusMenuExporter::idOf(const QAction *action) const
{
    // A QAction made where a deleted one was is another entry.
    const auto id = m_ids.constFind(action);
    if (id == m_ids.cend()) {
        return 0;
    }
    const auto entry = m_entries.constFind(*id);
    return entry != m_entries.cend() && entry->action.data() == action ? *id : 0;
}

QMenu *DBusMenuExporter::menuOf(int id) const
{
    if (id == 0) {
        return m_menu;
    }
    const auto entry = m_entries.constFind(id);
    return entry != m_entries.cend() && entry->action ? entry->submenu : nullptr;
}

bool DBusMenuExporter::isKnown(int id) const
{
    const auto entry = m_entries.constFind(id);
    return id == 0 || (entry != m_entries.cend() && entry->action);
}

bool DBusMenuExporter::isWithin(int holder, int ancestor) const
{
    if (ancestor == 0) {
        return true;
    }
    for (int at = holder; at != 0; at = m_menus.value(m_entries.value(at).container).holder) {
        if (at == ancestor) {
            return true;
        }
        if (!m_entries.contains(at)) {
            return false;
        }
    }
    return false;
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const
{
    if (id == 0) {
        return {{QStringLiteral("children-display"), QStringLiteral("submenu")}};
    }
    return m_entries.value(id).properties;
}

DBusMenuLayoutItem DBusMenuExporter::layoutOf(int id, int depth, const QStringList &names) const
{
    DBusMenuLayoutItem item{id, DBusMenuItem::only(propertiesOf(id), names), {}};
    const QMenu *menu = menuOf(id);
    if (depth == 0 || !menu) {
        return item;
    }
    const QList<int> entries = m_menus.value(menu).entries;
    item.children.reserve(entries.size());
    for (const int child : entries) {
        item.children.append(layoutOf(child, depth - 1, names));
    }
    return item;
}

void DBusMenuExporter::exportMenu(QMenu *menu, int holder)
{
    m_menus.insert(menu, {holder, {}});
    menu->installEventFilter(this);
    connect(menu, &QObject::destroyed, this, [this, menu] {
        const int holder = m_menus.value(menu).holder;
        forgetMenu(menu);
        if (const auto entry = m_entries.find(holder); entry != m_entries.end() && entry->submenu == menu) {
            entry->submenu = nullptr;
            noteEntry(holder);
        }
        if (holder == 0 || m_entries.contains(holder)) {
            noteLayout(holder);
        }
    });
    QList<int> entries;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        entries.append(addEntry(action, menu));
    }
    m_menus[menu].entries = entries;
}

void DBusMenuExporter::forgetMenu(const QMenu *menu)
{
    const auto exported = m_menus.constFind(menu);
    if (exported == m_menus.cend()) {
        return;
    }
    const QList<int> entries = exported->entries;
    m_menus.erase(exported);
    auto *watched = const_cast<QMenu *>(menu);
    watched->removeEventFilter(this);
    disconnect(watched, &QObject::destroyed, this, nullptr);
    for (const int id : entries) {
        if (m_entries.value(id).container == menu) {
            dropEntry(id);
        }
    }
}

int DBusMenuExporter::addEntry(QAction *action, const QMenu *container)
{
    const int id = m_nextId++;
    m_entries.insert(id, {action, container, nullptr, DBusMenuItem::properties(action)});
    m_ids.insert(action, id);
    if (QMenu *submenu = action->menu(); submenu && !m_menus.contains(submenu)) {
        m_entries[id].submenu = submenu;
        exportMenu(submenu, id);
    }
    return id;
}

void DBusMenuExporter::dropEntry(int id)
{
    const Entry entry = m_entries.take(id);
    m_changedEntries.remove(id);
    m_pendingLayouts.remove(id);
    m_pendingProperties.remove(id);
    m_pendingRemovals.remove(id);
    if (const auto known = m_ids.constFind(entry.action.data()); known != m_ids.cend() && *known == id) {
        m_ids.erase(known);
    }
    if (entry.submenu) {
        forgetMenu(entry.submenu);
    }
}

void DBusMenuExporter::noteMenu(const QMenu *menu)
{
    m_changedMenus.insert(menu);
    announceThisTurn();
}

void DBusMenuExporter::noteEntry(int id)
{
    m_changedEntries.insert(id);
    announceThisTurn();
}

void DBusMenuExporter::noteLayout(int holder)
{
    m_pendingLayouts.insert(holder);
    announceThisTurn();
}

void DBusMenuExporter::announceThisTurn()
{
    if (!m_isAnnouncing) {
        m_isAnnouncing = true;
        QTimer::singleShot(0, this, &DBusMenuExporter::announce);
    }
}

bool DBusMenuExporter::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::ActionAdded || type == QEvent::ActionRemoved) {
        noteMenu(static_cast<const QMenu *>(watched));
    } else if (type == QEvent::ActionChanged) {
        // An item not exported yet is read whole when its menu is looked at.
        if (const int id = idOf(static_cast<QActionEvent *>(event)->action()); id != 0) {
            noteEntry(id);
        }
    }
    return QObject::eventFilter(watched, event);
}

void DBusMenuExporter::sync()
{
    // A changed item may bring a submenu, and a changed menu new items: until nothing more comes.
    while (!m_changedMenus.isEmpty() || !m_changedEntries.isEmpty()) {
        const QSet<const QMenu *> menus = std::exchange(m_changedMenus, {});
        for (const QMenu *menu : menus) {
            if (m_menus.contains(menu)) {
                relist(menu);
            }
        }
        const QSet<int> entries = std::exchange(m_changedEntries, {});
        for (const int id : entries) {
            restate(id);
        }
    }
}

void DBusMenuExporter::relist(const QMenu *menu)
{
    QList<int> listed;
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        int id = idOf(action);
        if (id != 0 && m_entries[id].container != menu) {
            // Moved here from another exported menu.
            const QMenu *from = std::exchange(m_entries[id].container, menu);
            m_menus[from].entries.removeOne(id);
            noteLayout(m_menus.value(from).holder);
        }
        listed.append(id != 0 ? id : addEntry(action, menu));
    }
    Menu &exported = m_menus[menu];
    if (exported.entries == listed) {
        return;
    }
    const QList<int> before = std::exchange(exported.entries, listed);
    noteLayout(exported.holder);
    for (const int id : before) {
        if (!listed.contains(id) && m_entries.value(id).container == menu) {
            dropEntry(id);
        }
    }
}

void DBusMenuExporter::restate(int id)
{
    const auto entry = m_entries.find(id);
    if (entry == m_entries.end() || !entry->action) {
        return; // its menu drops it
    }
    QAction *action = entry->action;
    if (action->menu() != entry->submenu) {
        QMenu *before = std::exchange(entry->submenu, nullptr);
        if (before) {
            forgetMenu(before);
        }
        if (QMenu *submenu = action->menu(); submenu && !m_menus.contains(submenu)) {
            m_entries[id].submenu = submenu;
            exportMenu(submenu, id);
        }
        noteLayout(id);
    }
    Entry &current = m_entries[id];
    const QVariantMap now = DBusMenuItem::properties(action);
    if (now == current.properties) {
        return;
    }
    for (auto property = now.cbegin(); property != now.cend(); ++property) {
        if (current.properties.value(property.key()) != property.value()) {
            m_pendingProperties[id].insert(property.key(), property.value());
            m_pendingRemovals[id].removeAll(property.key());
        }
    }
    for (auto property = current.properties.cbegin(); property != current.properties.cend(); ++property) {
        if (!now.contains(property.key())) {
            m_pendingProperties[id].remove(property.key());
            m_pendingRemovals[id].append(property.key());
        }
    }
    current.properties = now;
}

void DBusMenuExporter::askToReread()
{
    noteLayout(0);
}

void DBusMenuExporter::announce()
{
    m_isAnnouncing = false;
    sync();
    if (!m_pendingProperties.isEmpty() || !m_pendingRemovals.isEmpty()) {
        DBusMenuItemPropertiesList updated;
        for (auto entry = m_pendingProperties.cbegin(); entry != m_pendingProperties.cend(); ++entry) {
            if (!entry->isEmpty()) {
                updated.append({entry.key(), *entry});
            }
        }
        DBusMenuItemKeysList removed;
        for (auto entry = m_pendingRemovals.cbegin(); entry != m_pendingRemovals.cend(); ++entry) {
            if (!entry->isEmpty()) {
                removed.append({entry.key(), *entry});
            }
        }
        m_pendingProperties.clear();
        m_pendingRemovals.clear();
        Q_EMIT ItemsPropertiesUpdated(updated, removed);
    }
    if (m_pendingLayouts.isEmpty()) {
        return;
    }
    QList<int> holders = std::exchange(m_pendingLayouts, {}).values();
    std::sort(holders.begin(), holders.end());
    // A host reads the layout again when the revision is newer than the one it read last.
    ++m_revision;
    for (const int holder : std::as_const(holders)) {
        Q_EMIT LayoutUpdated(m_revision, holder);
    }
}

uint DBusMenuExporter::GetLayout(int parentId,
                                 int recursionDepth,
                                 const QStringList &propertyNames,
                                 DBusMenuLayoutItem &layout)
{
    sync();
    if (!isKnown(parentId)) {
        askToReread();
    }
    layout = layoutOf(parentId, recursionDepth, propertyNames);
    return m_revision;
}

DBusMenuItemPropertiesList DBusMenuExporter::GetGroupProperties(const QList<int> &ids, const QStringList &propertyNames)
{
    sync();
    QList<int> wanted = ids;
    if (wanted.isEmpty()) {
        wanted = m_entries.keys();
        std::sort(wanted.begin(), wanted.end());
    }
    DBusMenuItemPropertiesList found;
    for (const int id : std::as_const(wanted)) {
        if (isKnown(id)) {
            found.append({id, DBusMenuItem::only(propertiesOf(id), propertyNames)});
        }
    }
    return found;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString &name)
{
    sync();
    const QVariantMap properties = propertiesOf(id);
    if (!isKnown(id) || !properties.contains(name)) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("No property %1 on menu item %2").arg(name).arg(id));
        return {};
    }
    return QDBusVariant(properties.value(name));
}

void DBusMenuExporter::Event(int id, const QString &eventId, const QDBusVariant &data, uint timestamp)
{
    Q_UNUSED(data)
    Q_UNUSED(timestamp)
    sync();
    if (!isKnown(id)) {
        if (eventId == ClickedEvent) {
            qCWarning(lcDBusMenuExporter) << "The tray host clicked a menu item that is no longer there;"
                                          << "it is asked to read the menu again";
            askToReread();
        }
        return;
    }
    QAction *action = id == 0 ? nullptr : m_entries.value(id).action.data();
    if (eventId == ClickedEvent && action) {
        // After the answer, as Qt does: an action may open a dialog of its own.
        QMetaObject::invokeMethod(action, &QAction::trigger, Qt::QueuedConnection);
    } else if (eventId == QStringLiteral("hovered") && action) {
        QMetaObject::invokeMethod(action, &QAction::hover, Qt::QueuedConnection);
    } else if (eventId == QStringLiteral("closed")) {
        // DBusMenu has no call for a menu that closes; QMenu's signal says so to whoever tracks it.
        if (QMenu *menu = menuOf(id)) {
            Q_EMIT menu->aboutToHide();
        }
    }
}

QList<int> DBusMenuExporter::EventGroup(const QList<DBusMenuEvent> &events)
{
    QList<int> idErrors;
    for (const DBusMenuEvent &event : events) {
        if (!isKnown(event.id)) {
            idErrors.append(event.id);
        }
        Event(event.id, event.eventId, event.data, event.timestamp);
    }
    return idErrors;
}

bool DBusMenuExporter::isAnswerRead() const
{
    // libdbusmenu's hosts send AboutToShowGroup without waiting for an answer, and read the layout
    // again only when it is announced.
    return !calledFromDBus() || message().isReplyRequired();
}

bool DBusMenuExporter::AboutToShow(int id)
{
    return open(id, isAnswerRead());
}

bool DBusMenuExporter::open(int id, bool isAnswerRead)
{
    sync();
    QMenu *menu = menuOf(id);
    if (!menu) {
        if (!isKnown(id)) {
            askToReread();
        }
        return false;
    }
    // A submenu filled on opening is filled now. A host that reads the answer reads the submenu again
    // when told so there; announcing the fill as well would only have it read the layout twice.
    Q_EMIT menu->aboutToShow();
    sync();
    if (!isAnswerRead) {
        return false;
    }
    bool isChanged = false;
    for (auto holder = m_pendingLayouts.begin(); holder != m_pendingLayouts.end();) {
        if (isWithin(*holder, id)) {
            holder = m_pendingLayouts.erase(holder);
            isChanged = true;
        } else {
            ++holder;
        }
    }
    if (isChanged) {
        // The layout the host reads next is newer than any it has read.
        ++m_revision;
    }
    return isChanged;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int> &ids, QList<int> &idErrors)
{
    QList<int> updatesNeeded;
    idErrors.clear();
    const bool isRead = isAnswerRead();
    for (const int id : ids) {
        if (!isKnown(id)) {
            idErrors.append(id);
        }
        if (open(id, isRead)) {
            updatesNeeded.append(id);
        }
    }
    return updatesNeeded;
}

} // namespace plimsy
