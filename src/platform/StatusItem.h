#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>

class QMenu;
class QSystemTrayIcon;

namespace plimsy {

// The application's item in the desktop's tray, with its menu. Where no tray host runs the item stays
// hidden (one warning says so) and its menu still works, so the rest of the application does not care.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    explicit StatusItem(QObject *parent = nullptr);
    ~StatusItem() override;

    // The menu is not owned; it may be rebuilt while it is open.
    void setMenu(QMenu *menu);
    QMenu *menu() const;

    void setImage(const QIcon &image);
    QIcon image() const;

    void setToolTip(const QString &text);

    // Shows the item in the tray when a tray host is there.
    void show();
    bool isVisible() const;

Q_SIGNALS:
    void menuWillOpen();
    void menuDidClose();

private:
    void handleActivated(int reason);

    QSystemTrayIcon *m_tray = nullptr;
    QPointer<QMenu> m_menu;
    QIcon m_image;

    Q_DISABLE_COPY_MOVE(StatusItem)
};

} // namespace plimsy
