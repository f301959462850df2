#include "platform/DBusMenuUpdates.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QMetaClassInfo>
#include <QTimer>

namespace plimsy {

namespace {

const QString MenuPath = QStringLiteral("/MenuBar");
const QString MenuInterface = QStringLiteral("com.canonical.dbusmenu");

QObject *menuAdaptor(QObject *menu)
{
    for (QDBusAbstractAdaptor *adaptor : menu->findChildren<QDBusAbstractAdaptor *>(Qt::FindDirectChildrenOnly)) {
        const QMetaObject *meta = adaptor->metaObject();
        const int info = meta->indexOfClassInfo("D-Bus Interface");
        if (info >= 0 && MenuInterface == QLatin1String(meta->classInfo(info).value())) {
            return adaptor;
        }
    }
    return nullptr;
}

} // namespace

DBusMenuUpdates *DBusMenuUpdates::takeOver(const QString &connectionName, QObject *parent)
{
    QDBusConnection bus(connectionName);
    QObject *menu = bus.isConnected() ? bus.objectRegisteredAt(MenuPath) : nullptr;
    QObject *adaptor = menu ? menuAdaptor(menu) : nullptr;
    if (!adaptor || menu->metaObject()->indexOfSignal("updated(uint,int)") < 0
        || adaptor->metaObject()->indexOfSignal("LayoutUpdated(uint,int)") < 0) {
        return nullptr;
    }
    auto *updates = new DBusMenuUpdates(adaptor, parent);
    QObject::disconnect(menu, SIGNAL(updated(uint, int)), adaptor, nullptr);
    QObject::connect(menu, SIGNAL(updated(uint, int)), updates, SLOT(noteLayoutChange(uint, int)));
    return updates;
}

DBusMenuUpdates::DBusMenuUpdates(QObject *adaptor, QObject *parent)
    : QObject(parent)
    , m_adaptor(adaptor)
{
}

void DBusMenuUpdates::noteLayoutChange(uint revision, int parentId)
{
    if (m_pending.isEmpty()) {
        QTimer::singleShot(0, this, &DBusMenuUpdates::announce);
    }
    m_pending.insert(parentId, revision);
}

void DBusMenuUpdates::announce()
{
    const QMap<int, uint> pending = std::exchange(m_pending, {});
    if (!m_adaptor) {
        return;
    }
    for (auto change = pending.cbegin(); change != pending.cend(); ++change) {
        QMetaObject::invokeMethod(
            m_adaptor, "LayoutUpdated", Qt::DirectConnection, Q_ARG(uint, change.value()), Q_ARG(int, change.key()));
    }
}

} // namespace plimsy
