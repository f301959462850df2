#pragma once

#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>

namespace plimsy {

// What a tray host hears of changes to the exported menu. Qt announces every item put in or taken out
// with a layout update of its own, and a host answers each by reading the layout again: a refresh of a
// hundred servers would cost it hundreds of readings. This holds Qt's announcements back until the
// event loop turns and then makes one per changed submenu.
class DBusMenuUpdates : public QObject
{
    Q_OBJECT

public:
    // Takes over the announcements of the menu Qt exported on the tray's connection, or returns null
    // where Qt exported none (or one this does not know how to take over).
    static DBusMenuUpdates *takeOver(const QString &connectionName, QObject *parent);

private Q_SLOTS:
    void noteLayoutChange(uint revision, int parentId);

private:
    DBusMenuUpdates(QObject *adaptor, QObject *parent);
    void announce();

    QPointer<QObject> m_adaptor;
    // The newest revision of each submenu (by the id of the item holding it; 0 is the menu itself).
    QMap<int, uint> m_pending;

    Q_DISABLE_COPY_MOVE(DBusMenuUpdates)
};

} // namespace plimsy
