#pragma once

#include "platform/PortalGlobalShortcut.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace plimsy::test {

// The desktop portal's GlobalShortcuts interface, as far as a client needs it: sessions, binding with the
// preferred trigger, answers as Request Response signals and Activated. It owns the portal's name on the
// bus it is given (use a private one).
class FakeGlobalShortcutsPortal : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")

public:
    struct Binding
    {
        QString session;
        QString shortcutId;
        QString preferredTrigger;
    };

    explicit FakeGlobalShortcutsPortal(QDBusConnection bus, QObject *parent = nullptr);
    ~FakeGlobalShortcutsPortal() override;

    bool isRunning() const { return m_isRunning; }

    // What the desktop reports as bound (it may differ from the preferred trigger); the preferred one when empty.
    void setBoundTrigger(const QString &trigger) { m_boundTrigger = trigger; }
    // The answer code of the next binding (1: the user cancelled).
    void setBindResponse(uint response) { m_bindResponse = response; }
    // As KDE's backend of Plasma 5.27: the shortcuts given to CreateSession are bound there and listed in
    // its Response; BindShortcuts binds nothing and answers an empty list.
    void setBindsAtCreateSession(bool atCreateSession) { m_bindsAtCreateSession = atCreateSession; }

    const QList<Binding> &bindings() const { return m_bindings; }
    int bindShortcutsCalls() const { return m_bindShortcutsCalls; }
    const QStringList &openSessions() const { return m_openSessions; }
    const QStringList &closedSessions() const { return m_closedSessions; }

    // The user pressed the shortcut bound in `session`.
    void activate(const QString &session, const QString &shortcutId);

public Q_SLOTS:
    QDBusObjectPath CreateSession(const QVariantMap &options);
    QDBusObjectPath BindShortcuts(const QDBusObjectPath &session,
                                  const QList<plimsy::PortalShortcut> &shortcuts,
                                  const QString &parentWindow,
                                  const QVariantMap &options);

private:
    friend class FakePortalSession;
    QString requestPath(const QVariantMap &options) const;
    void
    respondLater(const QString &destination, const QString &requestPath, uint response, const QVariantMap &results);
    void closeSession(const QString &session);
    // Records the bindings and gives them back as the portal lists them in a Response.
    QList<PortalShortcut> bind(const QString &session, const QList<PortalShortcut> &shortcuts);

    QDBusConnection m_bus;
    bool m_isRunning = false;
    QString m_boundTrigger;
    uint m_bindResponse = 0;
    bool m_bindsAtCreateSession = false;
    int m_bindShortcutsCalls = 0;
    QList<Binding> m_bindings;
    QStringList m_openSessions;
    QStringList m_closedSessions;
};

} // namespace plimsy::test
