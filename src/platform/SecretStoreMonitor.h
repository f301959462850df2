#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace plimsy {

// Tells when a collection of the user's secret store gets unlocked, by the user or by another program,
// as the Secret Service announces it on the session bus. Without a bus or a service it stays silent.
// GUI thread.
class SecretStoreMonitor : public QObject
{
    Q_OBJECT

public:
    explicit SecretStoreMonitor(QObject *parent = nullptr);

Q_SIGNALS:
    void unlocked();

private Q_SLOTS:
    // Connected by name: the D-Bus signal connection has no member-pointer form.
    void handlePropertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &invalidated);

private:
    Q_DISABLE_COPY_MOVE(SecretStoreMonitor)
};

} // namespace plimsy
