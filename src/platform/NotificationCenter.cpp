#include "platform/NotificationCenter.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QThread>

#include <algorithm>
#include <exception>

Q_LOGGING_CATEGORY(lcNotificationCenter, "plimsy.notifications")

namespace plimsy {

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter *s_center = new NotificationCenter;
    return *s_center;
}

NotificationCenter::NotificationCenter(QObject *parent)
    : QObject(parent)
{
}

void NotificationCenter::addObserver(const QString &name, QObject *context, Handler handler, QObject *sender)
{
    Q_ASSERT(context);
    const bool firstForContext = std::none_of(
        m_observers.begin(), m_observers.end(), [context](const Observer &o) { return o.context == context; });
    m_observers.push_back(Observer{m_nextId++, name, context, sender, std::move(handler)});
    if (firstForContext) {
        // Forget the context's entries when it goes; its QPointer is already null by then.
        connect(context, &QObject::destroyed, this, [this, context] { removeObserver(context); });
    }
}

void NotificationCenter::removeObserver(QObject *context, const QString &name)
{
    std::erase_if(m_observers, [&](const Observer &o) {
        return (o.context == context || o.context.isNull()) && (name.isEmpty() || o.name == name);
    });
}

void NotificationCenter::post(const QString &name, QObject *object, const QVariantMap &userInfo)
{
    Notification notification{name, object, userInfo};
    if (QThread::currentThread() != thread()) {
        QPointer<QObject> sender(object);
        QMetaObject::invokeMethod(
            this,
            [this, notification, sender]() mutable {
                notification.object = sender.data();
                deliver(notification);
            },
            Qt::QueuedConnection);
        return;
    }
    deliver(notification);
}

void NotificationCenter::deliver(const Notification &notification)
{
    // Observers added while delivering wait for the next post; removed ones are skipped.
    std::vector<quint64> targets;
    for (const Observer &o : m_observers) {
        if (o.name == notification.name && !o.context.isNull() && (!o.sender || o.sender == notification.object)) {
            targets.push_back(o.id);
        }
    }
    for (const quint64 id : targets) {
        const auto it =
            std::find_if(m_observers.begin(), m_observers.end(), [id](const Observer &o) { return o.id == id; });
        if (it == m_observers.end() || it->context.isNull()) {
            continue;
        }
        const Handler handler = it->handler;
        try {
            handler(notification);
        } catch (const std::exception &error) {
            qCWarning(lcNotificationCenter).noquote()
                << "Observer of" << notification.name << "failed:" << QString::fromUtf8(error.what());
        } catch (...) {
            qCWarning(lcNotificationCenter).noquote() << "Observer of" << notification.name << "failed";
        }
    }
}

} // namespace plimsy
