#include "platform/MenuItems.h"

#include "platform/NotificationCenter.h"

#include <QAction>
#include <QMenu>
#include <QSet>

namespace plimsy::MenuItems {

namespace {

constexpr const char *BuilderProperty = "plimsyMenuBuilder";
constexpr const char *ContentKeyProperty = "plimsyContentKey";
const QString PlaceholderName = QStringLiteral("menuPlaceholderItem");

struct StateImages
{
    QIcon on;
    QIcon off;
    QIcon mixed;
};

// Everything the menus keep on an item, in the action's own data slot: one allocation per item, where a
// dynamic property each cost several and a name lookup on every read.
struct ItemData
{
    MenuTag tag;
    QVariant object;
    MenuItemState state = MenuItemState::Off;
    StateImages images;
};

struct Builder
{
    std::function<void(QMenu *)> build;
};

} // namespace

} // namespace plimsy::MenuItems

Q_DECLARE_METATYPE(plimsy::MenuItems::ItemData)
Q_DECLARE_METATYPE(plimsy::MenuItems::Builder)

namespace plimsy::MenuItems {

namespace {

const ItemData *itemData(const QVariant &stored)
{
    return stored.metaType() == QMetaType::fromType<ItemData>() ? static_cast<const ItemData *>(stored.constData())
                                                                : nullptr;
}

template <typename Read> auto readItem(const QAction *item, Read read)
{
    static const ItemData none;
    const QVariant stored = item->data();
    const ItemData *data = itemData(stored);
    return read(data ? *data : none);
}

bool same(const QIcon &a, const QIcon &b)
{
    return a.cacheKey() == b.cacheKey();
}

// Of one type too: QVariant calls 5 and 5L equal, and a reader asks for the type it stored.
bool same(const QVariant &a, const QVariant &b)
{
    return a.metaType() == b.metaType() && a == b;
}

template <typename Value> bool same(const Value &a, const Value &b)
{
    return a == b;
}

// Writes only a real change: the item announces each write of its data to its menus and through them to
// a D-Bus menu host, and a site check sets every site item's state again each pass.
template <typename Field, typename Value> void updateItem(QAction *item, Field field, const Value &value)
{
    ItemData data = readItem(item, [](const ItemData &current) { return current; });
    Value &slot = field(data);
    if (same(slot, value)) {
        return;
    }
    slot = value;
    item->setData(QVariant::fromValue(std::move(data)));
}

void showState(QAction *item)
{
    const auto [current, image] = readItem(item, [](const ItemData &data) {
        const QIcon &shown = data.state == MenuItemState::On    ? data.images.on
                             : data.state == MenuItemState::Off ? data.images.off
                                                                : data.images.mixed;
        return std::pair(data.state, shown);
    });
    // Without an image of its own, "on" is the usual check mark.
    const bool checkMark = current == MenuItemState::On && image.isNull();
    item->setCheckable(checkMark);
    item->setChecked(checkMark);
    if (!same(item->icon(), image)) {
        item->setIcon(image); // announced even when unchanged
    }
    item->setIconVisibleInMenu(!image.isNull());
}

void runBuilder(QMenu *menu)
{
    const QVariant pending = menu->property(BuilderProperty);
    if (!pending.isValid()) {
        return;
    }
    // Cleared first: whatever the builder does, it runs once.
    menu->setProperty(BuilderProperty, QVariant());
    pending.value<Builder>().build(menu);
    // Dropped once the real items are in, so the menu is never empty on the way.
    removePlaceholder(menu);
}

void deleteItem(QMenu *menu, QAction *item)
{
    if (QMenu *submenu = item->menu(); submenu && submenu->parent() == menu) {
        // A menu exported to a tray host has a host-side entry per item, which Qt deletes when the item
        // leaves the menu but not when the menu is destroyed with it: items go first, all the way down.
        clear(submenu);
        delete submenu;
    }
    if (item->parent() == menu) {
        delete item;
    } else {
        menu->removeAction(item);
    }
}

void indexInto(const QMenu *menu, QHash<MenuTag, QAction *> &index)
{
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        const MenuTag itemTag = tag(item);
        if (!itemTag.isNone() && !index.contains(itemTag)) {
            index.insert(itemTag, item);
        }
    }
    for (QAction *item : items) {
        if (const QMenu *submenu = item->menu()) {
            indexInto(submenu, index);
        }
    }
}

} // namespace

void setTag(QAction *item, MenuTag tag)
{
    updateItem(
        item, [](ItemData &data) -> MenuTag & { return data.tag; }, tag);
}

MenuTag tag(const QAction *item)
{
    return readItem(item, [](const ItemData &data) { return data.tag; });
}

void setRepresentedObject(QAction *item, const QVariant &object)
{
    updateItem(
        item, [](ItemData &data) -> QVariant & { return data.object; }, object);
}

QVariant representedObject(const QAction *item)
{
    return readItem(item, [](const ItemData &data) { return data.object; });
}

void setStateImage(QAction *item, MenuItemState forState, const QIcon &image)
{
    updateItem(
        item,
        [forState](ItemData &data) -> QIcon & {
            return forState == MenuItemState::On    ? data.images.on
                   : forState == MenuItemState::Off ? data.images.off
                                                    : data.images.mixed;
        },
        image);
    showState(item);
}

void setState(QAction *item, MenuItemState newState)
{
    updateItem(
        item, [](ItemData &data) -> MenuItemState & { return data.state; }, newState);
    showState(item);
}

MenuItemState state(const QAction *item)
{
    return readItem(item, [](const ItemData &data) { return data.state; });
}

QString literalTitle(const QString &name)
{
    QString title = name;
    return title.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

QAction *makeItem(QMenu *menu, const QString &title, MenuTag itemTag)
{
    auto *item = new QAction(title, menu);
    if (!itemTag.isNone()) {
        setTag(item, itemTag);
    }
    // Announced before the item's own action runs (connected first), with the title the user chose:
    // the crash reporter keeps it as the last thing the user did.
    QObject::connect(item, &QAction::triggered, item, [item] {
        NotificationCenter::defaultCenter().post(
            QStringLiteral("NSMenuWillSendActionNotification"), nullptr, {{QStringLiteral("MenuItem"), item->text()}});
    });
    return item;
}

QAction *makeSeparator(QMenu *menu, MenuTag itemTag)
{
    QAction *item = makeItem(menu, QString(), itemTag);
    item->setSeparator(true);
    return item;
}

void insertItem(QMenu *menu, int index, QAction *item)
{
    const QList<QAction *> items = menu->actions();
    if (index < 0 || index >= items.size()) {
        menu->addAction(item);
    } else {
        menu->insertAction(items.at(index), item);
    }
}

int indexOf(const QMenu *menu, const QAction *item)
{
    return static_cast<int>(menu->actions().indexOf(item));
}

QAction *itemWithTag(const QMenu *menu, MenuTag wanted)
{
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        if (tag(item) == wanted) {
            return item;
        }
    }
    return nullptr;
}

int removeItemsWithTag(QMenu *menu, MenuTag wanted)
{
    int removed = 0;
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        if (tag(item) == wanted) {
            deleteItem(menu, item);
            ++removed;
        }
    }
    return removed;
}

QAction *findItem(const QMenu *menu, MenuTag wanted)
{
    if (!menu) {
        return nullptr;
    }
    if (QAction *own = itemWithTag(menu, wanted)) {
        return own;
    }
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        if (QAction *found = findItem(item->menu(), wanted)) {
            return found;
        }
    }
    return nullptr;
}

QHash<MenuTag, QAction *> indexTree(const QMenu *menu)
{
    QHash<MenuTag, QAction *> index;
    if (menu) {
        indexInto(menu, index);
    }
    return index;
}

void clear(QMenu *menu)
{
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        deleteItem(menu, item);
    }
}

void removeItem(QMenu *menu, QAction *item)
{
    deleteItem(menu, item);
}

void setContentKey(QAction *item, const QByteArray &key)
{
    item->setProperty(ContentKeyProperty, key);
}

void replaceItems(QMenu *menu, const QList<QAction *> &current, const QList<QAction *> &fresh, int index)
{
    QMultiHash<MenuTag, QAction *> byTag;
    for (QAction *item : current) {
        byTag.insert(tag(item), item);
    }
    QList<QAction *> wanted;
    QSet<QAction *> kept;
    for (QAction *item : fresh) {
        const QVariant key = item->property(ContentKeyProperty);
        QAction *same = nullptr;
        for (auto found = byTag.find(tag(item)); found != byTag.end() && found.key() == tag(item); ++found) {
            if (!kept.contains(*found) && (*found)->property(ContentKeyProperty) == key) {
                same = *found;
                break;
            }
        }
        if (same) {
            kept.insert(same);
            deleteItem(menu, item);
        }
        wanted.append(same ? same : item);
    }
    int position = current.isEmpty() ? index : indexOf(menu, current.constFirst());
    for (QAction *item : current) {
        if (!kept.contains(item)) {
            deleteItem(menu, item);
        }
    }
    for (QAction *item : wanted) {
        const QList<QAction *> items = menu->actions();
        if (position >= 0 && position < items.size() && items.at(position) == item) {
            ++position;
            continue;
        }
        if (kept.contains(item)) {
            // Out of order: moved, which costs its host-side entry.
            menu->removeAction(item);
        }
        insertItem(menu, position, item);
        position = position < 0 ? position : position + 1;
    }
}

void setBuilder(QMenu *menu, std::function<void(QMenu *)> build)
{
    const bool connected = menu->property(BuilderProperty).isValid();
    if (menu->actions().isEmpty()) {
        auto *placeholder = new QAction(QStringLiteral("Loading\u2026"), menu);
        placeholder->setObjectName(PlaceholderName);
        placeholder->setEnabled(false);
        menu->addAction(placeholder);
    }
    menu->setProperty(BuilderProperty, QVariant::fromValue(Builder{std::move(build)}));
    if (!connected) {
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu] { runBuilder(menu); });
    }
}

void removePlaceholder(QMenu *menu)
{
    const QList<QAction *> items = menu->actions();
    for (QAction *item : items) {
        if (item->objectName() == PlaceholderName) {
            menu->removeAction(item);
            delete item;
        }
    }
}

bool isBuilt(const QMenu *menu)
{
    return !menu->property(BuilderProperty).isValid();
}

QList<QAction *> items(QMenu *menu)
{
    runBuilder(menu);
    return menu->actions();
}

QMenu *submenu(QAction *item)
{
    const QList<QObject *> holders = item->associatedObjects();
    for (QObject *holder : holders) {
        if (auto *menu = qobject_cast<QMenu *>(holder)) {
            runBuilder(menu);
        }
    }
    return item->menu();
}

void buildTree(QMenu *menu)
{
    const QList<QAction *> all = items(menu);
    for (QAction *item : all) {
        if (QMenu *below = item->menu()) {
            buildTree(below);
        }
    }
}

} // namespace plimsy::MenuItems
