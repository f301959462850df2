#include "platform/DBusMenuItem.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QDBusMetaType>
#include <QKeySequence>
#include <QMenu>
#include <QPixmap>

namespace plimsy {

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuLayoutItem &child : item.children) {
        argument << QDBusVariant(QVariant::fromValue(child));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuLayoutItem &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        DBusMenuLayoutItem entry;
        child.variant().value<QDBusArgument>() >> entry;
        item.children.append(entry);
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemProperties &item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuItemKeys &item)
{
    argument.beginStructure();
    argument << item.id << item.names;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuItemKeys &item)
{
    argument.beginStructure();
    argument >> item.id >> item.names;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const DBusMenuEvent &event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, DBusMenuEvent &event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

namespace DBusMenuItem {

namespace {

// The pictures Qt sends of an item's icon: what a menu draws beside a label.
constexpr int IconSide = 16;

using Shortcut = QList<QStringList>;

// Each key of the sequence as the names of its modifiers and the key, as Qt sends them.
Shortcut shortcutOf(const QKeySequence &sequence)
{
    Shortcut shortcut;
    for (int at = 0; at < sequence.count(); ++at) {
        const QKeyCombination combination = sequence[at];
        const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
        QStringList tokens;
        if (modifiers & Qt::MetaModifier) {
            tokens << QStringLiteral("Super");
        }
        if (modifiers & Qt::ControlModifier) {
            tokens << QStringLiteral("Control");
        }
        if (modifiers & Qt::AltModifier) {
            tokens << QStringLiteral("Alt");
        }
        if (modifiers & Qt::ShiftModifier) {
            tokens << QStringLiteral("Shift");
        }
        if (modifiers & Qt::KeypadModifier) {
            tokens << QStringLiteral("num");
        }
        const QString key = QKeySequence(combination.key()).toString();
        tokens << (key == QStringLiteral("+")   ? QStringLiteral("plus")
                   : key == QStringLiteral("-") ? QStringLiteral("minus")
                                                : key);
        shortcut << tokens;
    }
    return shortcut;
}

} // namespace

void registerTypes()
{
    static const bool s_registered = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DBusMenuItemKeys>();
        qDBusRegisterMetaType<DBusMenuItemKeysList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<DBusMenuEventList>();
        qDBusRegisterMetaType<Shortcut>();
        return true;
    }();
    Q_UNUSED(s_registered)
}

QString label(const QString &text)
{
    QString converted;
    converted.reserve(text.size());
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text.at(at);
        if (c == u'_') {
            converted += QStringLiteral("__");
        } else if (c == u'&' && at + 1 < text.size()) {
            // "&&" is one literal '&'; a single one marks the next letter.
            converted += text.at(at + 1) == u'&' ? u'&' : u'_';
            at += text.at(at + 1) == u'&' ? 1 : 0;
        } else {
            converted += c;
        }
    }
    return converted;
}

QVariantMap properties(const QAction *item)
{
    QVariantMap properties;
    if (item->isSeparator()) {
        properties.insert(QStringLiteral("type"), QStringLiteral("separator"));
        properties.insert(QStringLiteral("visible"), item->isVisible());
        return properties;
    }
    properties.insert(QStringLiteral("label"), label(item->text()));
    if (item->menu()) {
        properties.insert(QStringLiteral("children-display"), QStringLiteral("submenu"));
    }
    properties.insert(QStringLiteral("enabled"), item->isEnabled());
    if (item->isCheckable()) {
        const bool radio = item->actionGroup() && item->actionGroup()->isExclusive();
        properties.insert(QStringLiteral("toggle-type"), radio ? QStringLiteral("radio") : QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), item->isChecked() ? 1 : 0);
    }
    if (!item->shortcut().isEmpty()) {
        properties.insert(QStringLiteral("shortcut"), QVariant::fromValue(shortcutOf(item->shortcut())));
    }
    const QIcon icon = item->isIconVisibleInMenu() ? item->icon() : QIcon();
    if (!icon.name().isEmpty()) {
        properties.insert(QStringLiteral("icon-name"), icon.name());
    } else if (!icon.isNull()) {
        QBuffer png;
        icon.pixmap(IconSide).save(&png, "PNG");
        properties.insert(QStringLiteral("icon-data"), png.data());
    }
    properties.insert(QStringLiteral("visible"), item->isVisible());
    return properties;
}

QVariantMap only(const QVariantMap &properties, const QStringList &names)
{
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap chosen;
    for (const QString &name : names) {
        if (const auto found = properties.constFind(name); found != properties.cend()) {
            chosen.insert(name, *found);
        }
    }
    return chosen;
}

} // namespace DBusMenuItem

} // namespace plimsy
