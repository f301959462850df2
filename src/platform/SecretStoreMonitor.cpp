#include "platform/SecretStoreMonitor.h"

#include <QDBusConnection>
#include <QLoggingCategory>

namespace plimsy {

namespace {

Q_LOGGING_CATEGORY(lcSecretStoreMonitor, "plimsy.secrets")

const QString SecretServiceName = QStringLiteral("org.freedesktop.secrets");
const QString CollectionInterface = QStringLiteral("org.freedesktop.Secret.Collection");

} // namespace

SecretStoreMonitor::SecretStoreMonitor(QObject *parent)
    : QObject(parent)
{
    // Any collection's path: the store's collections are found by alias, and that may change.
    const bool watching =
        QDBusConnection::sessionBus().connect(SecretServiceName,
                                              QString(),
                                              QStringLiteral("org.freedesktop.DBus.Properties"),
                                              QStringLiteral("PropertiesChanged"),
                                              {CollectionInterface},
                                              QString(),
                                              this,
                                              SLOT(handlePropertiesChanged(QString, QVariantMap, QStringList)));
    if (!watching) {
        qCInfo(lcSecretStoreMonitor) << "No session bus: unlocking the secret store will not be noticed";
    }
}

void SecretStoreMonitor::handlePropertiesChanged(const QString &interface,
                                                 const QVariantMap &changed,
                                                 const QStringList &)
{
    const auto locked = changed.constFind(QStringLiteral("Locked"));
    if (interface == CollectionInterface && locked != changed.constEnd() && !locked->toBool()) {
        Q_EMIT unlocked();
    }
}

} // namespace plimsy
