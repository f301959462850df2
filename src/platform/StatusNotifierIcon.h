#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <utility>

namespace plimsy {

// One picture of a StatusNotifier icon: ARGB32, its bytes in network order.
struct StatusIconPixmap
{
    int width = 0;
    int height = 0;
    QByteArray argb;
};
using StatusIconPixmaps = QList<StatusIconPixmap>;

struct StatusToolTip
{
    QString iconName;
    StatusIconPixmaps pixmaps;
    QString title;
    QString description;
};

QDBusArgument &operator<<(QDBusArgument &argument, const StatusIconPixmap &pixmap);
const QDBusArgument &operator>>(const QDBusArgument &argument, StatusIconPixmap &pixmap);
QDBusArgument &operator<<(QDBusArgument &argument, const StatusToolTip &tip);
const QDBusArgument &operator>>(const QDBusArgument &argument, StatusToolTip &tip);

// The tray's StatusNotifier item as a host reads it. Qt exports the item and its menu but names no icon
// theme, so a host can only draw the pixmaps, in colours the application chose without seeing the panel.
// This object stands in for Qt's at the item's path on Qt's own connection: it names the icon from our
// shipped theme, which the host recolours for its panel, and passes everything else to Qt's item.
class StatusNotifierIcon : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)
    Q_PROPERTY(QString IconThemePath READ iconThemePath)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(plimsy::StatusIconPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ emptyName)
    Q_PROPERTY(plimsy::StatusIconPixmaps OverlayIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionIconName READ emptyName)
    Q_PROPERTY(plimsy::StatusIconPixmaps AttentionIconPixmap READ noPixmaps)
    Q_PROPERTY(QString AttentionMovieName READ emptyName)
    Q_PROPERTY(plimsy::StatusToolTip ToolTip READ toolTip)

public:
    static constexpr char ItemPath[] = "/StatusNotifierItem";

    // Takes the place of the item Qt exported last for a shown tray, or returns null where Qt exported
    // none (an XEmbed tray, or no host).
    static StatusNotifierIcon *takeOver(QObject *parent);
    ~StatusNotifierIcon() override;

    // Where hosts look up our icon names: <executable dir>/../share/plimsy/icons, a hicolor theme of our own.
    static QString themePath();
    // The theme's name of a glyph: "menubar_error" is "plimsy-menubar-error-symbolic".
    static QString symbolicName(const QString &imageName);

    // Where the host last asked to activate the item, once; null when it gave no point (0, 0). Qt's item
    // drops the point it forwards.
    QPoint takeActivationPoint() { return std::exchange(m_activationPoint, QPoint()); }

    // The name of Qt's connection for the tray, on which its menu is exported too.
    QString busName() const { return m_connectionName; }

    void setIcon(const QString &iconName, const QIcon &pixmaps);
    void setToolTip(const QString &text);

    QString category() const;
    QString id() const;
    QString title() const;
    QString status() const;
    int windowId() const;
    bool itemIsMenu() const;
    QDBusObjectPath menu() const;
    QString iconThemePath() const;
    QString iconName() const { return m_iconName; }
    StatusIconPixmaps iconPixmap() const { return m_pixmaps; }
    QString emptyName() const { return {}; }
    StatusIconPixmaps noPixmaps() const { return {}; }
    StatusToolTip toolTip() const { return {m_iconName, {}, m_toolTip, {}}; }

public Q_SLOTS:
    void ContextMenu(int x, int y);
    void Activate(int x, int y);
    void SecondaryActivate(int x, int y);
    void Scroll(int delta, const QString &orientation);
    void ProvideXdgActivationToken(const QString &token);

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewMenu();
    void NewToolTip();
    void NewStatus(const QString &status);

private:
    StatusNotifierIcon(const QString &connectionName, QObject *qtItem, QObject *parent);
    QVariant qtProperty(const char *name) const;
    void forward(const char *method, QGenericArgument first, QGenericArgument second = {});

    QString m_connectionName;
    QPointer<QObject> m_qtAdaptor;
    QString m_iconName;
    StatusIconPixmaps m_pixmaps;
    QString m_toolTip;
    QPoint m_activationPoint;

    Q_DISABLE_COPY_MOVE(StatusNotifierIcon)
};

} // namespace plimsy

Q_DECLARE_METATYPE(plimsy::StatusIconPixmap)
Q_DECLARE_METATYPE(plimsy::StatusToolTip)
