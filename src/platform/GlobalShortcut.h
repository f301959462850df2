#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QProcessEnvironment>
#include <QString>

#include <memory>

namespace plimsy {

// Modifier bits of a shortcut.
namespace ShortcutModifier {
inline constexpr quint32 Super = 0x100;
inline constexpr quint32 Shift = 0x200;
inline constexpr quint32 Alt = 0x800;
inline constexpr quint32 Control = 0x1000;
} // namespace ShortcutModifier

// One system-wide keyboard shortcut, held from `grab` until `release` (or destruction). Every press of it,
// from any application, emits `activated` once, after the platform's event handling has returned. GUI thread.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    enum class Status
    {
        NotRegistered,
        Registering,
        Registered,
        Taken,       // another application holds the combination
        Unavailable, // this desktop offers no way to hold one
        Failed,
    };

    using QObject::QObject;

    // The backend of this session, reaching the portal on the session bus.
    static std::unique_ptr<GlobalShortcut> create();
    // Chosen by the session, not by Qt's platform: a Wayland session gets the desktop portal's GlobalShortcuts
    // even when Qt runs on XWayland, where a key grab fires only while an X11 window has focus. Elsewhere X11
    // key grabs when Qt runs on X11, else the portal.
    static std::unique_ptr<GlobalShortcut> createForSession(const QProcessEnvironment &environment,
                                                            QDBusConnection bus);
    static bool isWaylandSession(const QProcessEnvironment &environment);

    // Holds the combination of an X keysym and ShortcutModifier bits, replacing the one held before.
    // The outcome may arrive later through `statusChanged`.
    virtual void grab(quint32 keysym, quint32 modifiers) = 0;
    virtual void release() = 0;

    Status status() const { return m_status; }
    // What the desktop says it bound, when it chose or may have changed the combination; else empty.
    QString boundTrigger() const { return m_boundTrigger; }
    QString statusText() const;
    // Why the status is Unavailable, in a few words for the log; else empty.
    QString unavailableReason() const { return m_unavailableReason; }

Q_SIGNALS:
    void activated();
    void statusChanged();

protected:
    void setStatus(Status status, const QString &boundTrigger = {});
    void setUnavailable(const QString &reason);
    // Emits `activated` on a later turn of the event loop.
    void activateLater();

private:
    Status m_status = Status::NotRegistered;
    QString m_boundTrigger;
    QString m_unavailableReason;

    Q_DISABLE_COPY_MOVE(GlobalShortcut)
};

} // namespace plimsy
