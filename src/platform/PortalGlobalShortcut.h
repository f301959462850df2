#pragma once

#include "platform/GlobalShortcut.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QMetaType>
#include <QVariantMap>

class QDBusError;

namespace plimsy {

// One shortcut as the GlobalShortcuts portal passes it: its id and its properties.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);
// Makes the portal's shortcut lists known to QtDBus; safe to call more than once.
void registerPortalShortcutTypes();

// A shortcut bound through the desktop portal's org.freedesktop.portal.GlobalShortcuts interface, the only
// road Wayland leaves a program. The desktop may let the user confirm or change the combination, so the
// bound trigger is what it reports. Without the portal the status becomes Unavailable.
class PortalGlobalShortcut final : public GlobalShortcut
{
    Q_OBJECT

public:
    static constexpr auto ShortcutId = "action-bar";

    explicit PortalGlobalShortcut(QDBusConnection bus,
                                  QString service = QStringLiteral("org.freedesktop.portal.Desktop"),
                                  QObject *parent = nullptr);
    ~PortalGlobalShortcut() override;

    void grab(quint32 keysym, quint32 modifiers) override;
    void release() override;

    // The portal's trigger text of a combination: "LOGO+SHIFT+k", "CTRL+ALT+space".
    static QString preferredTrigger(quint32 keysym, quint32 modifiers);

private Q_SLOTS:
    void handleSessionCreated(uint response, const QVariantMap &results);
    void handleShortcutsBound(uint response, const QVariantMap &results);
    void handleActivated(const QDBusObjectPath &session,
                         const QString &shortcutId,
                         qulonglong timestamp,
                         const QVariantMap &options);

private:
    void createSession();
    // Ours, as the portal takes them in CreateSession's options and in BindShortcuts.
    QList<PortalShortcut> shortcuts() const;
    void bindShortcut();
    void closeSession();
    // Waits for the Response of the request named by `token`, in `slot`; forgets any earlier one.
    void awaitResponse(const QString &token, const char *slot);
    void stopAwaiting();
    void callPortal(const QString &method, const QList<QVariant> &arguments);
    void handleCallError(const QDBusError &error);

    QDBusConnection m_bus;
    QString m_service;
    QString m_trigger;
    QString m_session;
    QString m_requestPath;
    const char *m_requestSlot = nullptr;
    quint64 m_generation = 0;
    quint64 m_nextToken = 0;

    Q_DISABLE_COPY_MOVE(PortalGlobalShortcut)
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::PortalShortcut)
