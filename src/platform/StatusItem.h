#pragma once

#include <QIcon>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace plimsy {

class DBusMenuExporter;
class StatusNotifierIcon;
class TrayHostMonitor;

// The application's item in the desktop's tray, with its menu. Where no tray host runs the item stays
// hidden (one warning says so) and its menu still works, so the rest of the application does not care;
// a host that starts later shows the item then.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    explicit StatusItem(QObject *parent = nullptr);
    ~StatusItem() override;

    // The menu is not owned; it may be rebuilt while it is open.
    void setMenu(QMenu *menu);
    QMenu *menu() const;

    // The item's glyph by its image name ("terminal_outlined"): hosts that draw icons by name get the
    // symbolic icon of that name from our theme and colour it for their panel; the others get pixmaps
    // drawn to read on any panel.
    void setImage(const QString &imageName);
    QString imageName() const;
    // The pixmaps of the glyph, as an XEmbed tray or a host without our theme draws them.
    QIcon image() const;

    void setToolTip(const QString &text);

    // Shows the item in the tray when a tray host is there, else as soon as one appears.
    void show();
    bool isVisible() const;

    // Whether a tray host shows the item; false until the desktop has answered.
    bool hasHost() const;
    bool isHostKnown() const;

Q_SIGNALS:
    void menuWillOpen();
    void menuDidClose();
    // When a tray host appears or goes away, and once when the first answer is in.
    void hostChanged(bool hasHost);

private:
    void handleActivated(int reason);
    // Where the menu opens for a click at `point`: inside the screen's available area.
    QPoint menuPosition(QPoint point) const;
    void handleHostChanged(bool hasHost);
    void makeTray();
    void exportIcon();

    TrayHostMonitor *m_hosts;
    // Made once a host is there: the platform picks the tray's kind when it is made, for good.
    QSystemTrayIcon *m_tray = nullptr;
    // What a StatusNotifier host reads, once the tray is exported over D-Bus.
    StatusNotifierIcon *m_export = nullptr;
    // What a host reads of the menu, once Qt has exported it.
    DBusMenuExporter *m_menuExport = nullptr;
    QString m_imageName;
    QPointer<QMenu> m_menu;
    QIcon m_image;
    QString m_toolTip;
    bool m_isShown = false;

    Q_DISABLE_COPY_MOVE(StatusItem)
};

} // namespace plimsy
