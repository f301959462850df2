#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

namespace plimsy {

struct Notification
{
    QString name;
    QObject *object = nullptr; // the sender, if any; valid only during delivery
    QVariantMap userInfo;
};

// In-process notices by name. Delivery is synchronous, on the GUI thread; a post from another
// thread is delivered there later. Observers go away with their context object.
class NotificationCenter : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const Notification &)>;

    static NotificationCenter &defaultCenter();

    explicit NotificationCenter(QObject *parent = nullptr);

    // Calls `handler` for every post of `name` (only those from `sender` when one is given) until
    // `context` is destroyed or removed. An exception thrown by the handler is logged and dropped.
    void addObserver(const QString &name, QObject *context, Handler handler, QObject *sender = nullptr);

    // Removes the context's observers of `name`, or all of them when `name` is empty.
    void removeObserver(QObject *context, const QString &name = {});

    void post(const QString &name, QObject *object = nullptr, const QVariantMap &userInfo = {});

private:
    struct Observer
    {
        quint64 id = 0;
        QString name;
        QPointer<QObject> context;
        const QObject *sender = nullptr;
        Handler handler;
    };

    void deliver(const Notification &notification);

    std::vector<Observer> m_observers;
    quint64 m_nextId = 1;

    Q_DISABLE_COPY_MOVE(NotificationCenter)
};

} // namespace plimsy
