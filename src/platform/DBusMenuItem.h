#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;

namespace plimsy {

// One entry of a tray menu's layout as a DBusMenu host reads it, with its entries to the depth it asked for.
struct DBusMenuLayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

struct DBusMenuItemKeys
{
    int id = 0;
    QStringList names;
};
using DBusMenuItemKeysList = QList<DBusMenuItemKeys>;

struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemKeys &item);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemKeys &item);
QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event);
const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event);

// What a QAction of a tray menu shows a DBusMenu host, in the properties Qt's own exporter gives it.
namespace DBusMenuItem {

// Registers the D-Bus types above; more calls do nothing.
void registerTypes();

// Qt's text of an item as a DBusMenu label: "&&" is a literal '&' and "&x" marks a mnemonic, where
// DBusMenu writes "__" for a literal '_' and "_x" for the mnemonic.
QString label(const QString &text);

QVariantMap properties(const QAction *item);

// Only the named properties; all of them when no name is given.
QVariantMap only(const QVariantMap &properties, const QStringList &names);

} // namespace DBusMenuItem

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(plimsy::DBusMenuItemProperties)
Q_DECLARE_METATYPE(plimsy::DBusMenuItemKeys)
Q_DECLARE_METATYPE(plimsy::DBusMenuEvent)
