#pragma once

#include <QHash>
#include <QIcon>
#include <QMetaType>
#include <QVariant>

#include <functional>
#include <optional>

class QAction;
class QMenu;

namespace plimsy {

// Which number space an item's tag belongs to: section markers, Forge server ids and Forge site ids are
// kept apart, so a server whose id happens to equal a section number or a site id never matches.
enum class MenuTagKind
{
    None,
    Section,
    Server,
    Site,
};

struct MenuTag
{
    MenuTagKind kind = MenuTagKind::None;
    qint64 value = 0;

    static MenuTag section(qint64 value) { return {MenuTagKind::Section, value}; }
    static MenuTag server(qint64 id) { return {MenuTagKind::Server, id}; }
    static MenuTag site(qint64 id) { return {MenuTagKind::Site, id}; }

    bool isNone() const { return kind == MenuTagKind::None; }
    bool operator==(const MenuTag &) const = default;
};

inline size_t qHash(const MenuTag &tag, size_t seed = 0)
{
    return qHashMulti(seed, static_cast<int>(tag.kind), tag.value);
}

enum class MenuItemState
{
    Off,
    On,
    Mixed,
};

// The menu-item facilities the menus are designed around (tag, represented object, state with its
// images, alternates, insertion by index), kept on plain QActions.
namespace MenuItems {

void setTag(QAction *item, MenuTag tag);
MenuTag tag(const QAction *item);

void setRepresentedObject(QAction *item, const QVariant &object);
QVariant representedObject(const QAction *item);

template <typename T> std::optional<T> representedObject(const QAction *item)
{
    const QVariant object = representedObject(item);
    if (!object.isValid() || object.metaType() != QMetaType::fromType<T>()) {
        return std::nullopt;
    }
    return object.value<T>();
}

// The image shown for a state; an item in the on state without its own image shows a check mark.
void setStateImage(QAction *item, MenuItemState state, const QIcon &image);
void setState(QAction *item, MenuItemState state);
MenuItemState state(const QAction *item);

// A name from data as an item's title: shown as it is, where a '&' would mark the next letter as the
// item's mnemonic.
QString literalTitle(const QString &name);

// A new item owned by `menu`, not yet added to it.
QAction *makeItem(QMenu *menu, const QString &title, MenuTag tag = {});
QAction *makeSeparator(QMenu *menu, MenuTag tag = {});

// Inserts at `index` (appends when the index is past the end).
void insertItem(QMenu *menu, int index, QAction *item);
int indexOf(const QMenu *menu, const QAction *item);

// The menu's own first item with the tag, or null.
QAction *itemWithTag(const QMenu *menu, MenuTag tag);
// Removes and deletes the menu's own items with the tag; returns how many.
int removeItemsWithTag(QMenu *menu, MenuTag tag);

// The first item with the tag in the menu or, depth first in menu order, its submenus.
QAction *findItem(const QMenu *menu, MenuTag tag);

// Every tagged item of the tree, first match per tag as findItem would give it; one pass, for callers
// that look up many items at once.
QHash<MenuTag, QAction *> indexTree(const QMenu *menu);

// Removes and deletes every item, submenus included.
void clear(QMenu *menu);
// Removes and deletes one item of the menu, or one it owns but does not show, submenu included.
void removeItem(QMenu *menu, QAction *item);

// What an item shows, in a form that compares: items of equal tag and content key are the same entry.
void setContentKey(QAction *item, const QByteArray &key);

// Puts `fresh` (items owned by `menu`, not in it) where `current` (items of `menu`, in a row) stand, or at
// `index` when there are none. An item of `current` with the tag and content key of a fresh one stays,
// submenu and all, and the fresh one is deleted: a tray host keeps its entry, so a submenu it shows and
// a click on it still land. The rest of `current` is deleted.
void replaceItems(QMenu *menu, const QList<QAction *> &current, const QList<QAction *> &fresh, int index);

// A submenu whose items are made the first time they are needed: when it is about to show (a D-Bus
// menu host sends that before it asks for the layout) or when a reader asks for them through `items` or
// `submenu`.
// An unopened menu costs one QMenu with only what was put in it directly, or a placeholder item when that
// is nothing: some hosts open only a submenu that holds an item. Rebuilding the tree drops it unmade. What `build`
// makes must carry no tags and read any state it shows when it runs: tag searches do not look into unmade menus, and
// nothing updates them.
void setBuilder(QMenu *menu, std::function<void(QMenu *)> build);
bool isBuilt(const QMenu *menu);
// Takes the placeholder away, once what was put in the menu directly holds it open.
void removePlaceholder(QMenu *menu);
// The menu's own items, made first when its builder has not run yet: the one way to read a submenu.
QList<QAction *> items(QMenu *menu);
// The item's submenu, which a builder may give it: the menus holding the item are made first.
QMenu *submenu(QAction *item);
// Makes every unmade submenu of the tree, all the way down.
void buildTree(QMenu *menu);

} // namespace MenuItems

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::MenuTag)
