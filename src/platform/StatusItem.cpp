#include "platform/StatusItem.h"

#include <QCursor>
#include <QLoggingCategory>
#include <QMenu>
#include <QSystemTrayIcon>

Q_LOGGING_CATEGORY(lcStatusItem, "plimsy.statusitem")

namespace plimsy {

StatusItem::StatusItem(QObject *parent)
    : QObject(parent)
    , m_tray(new QSystemTrayIcon(this))
{
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        handleActivated(static_cast<int>(reason));
    });
}

StatusItem::~StatusItem() = default;

void StatusItem::setMenu(QMenu *menu)
{
    if (m_menu) {
        disconnect(m_menu, nullptr, this, nullptr);
    }
    m_menu = menu;
    m_tray->setContextMenu(menu);
    if (menu) {
        connect(menu, &QMenu::aboutToShow, this, &StatusItem::menuWillOpen);
        connect(menu, &QMenu::aboutToHide, this, &StatusItem::menuDidClose);
    }
}

QMenu *StatusItem::menu() const
{
    return m_menu;
}

void StatusItem::setImage(const QIcon &image)
{
    m_image = image;
    m_tray->setIcon(image);
}

QIcon StatusItem::image() const
{
    return m_image;
}

void StatusItem::setToolTip(const QString &text)
{
    m_tray->setToolTip(text);
}

void StatusItem::show()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCWarning(lcStatusItem) << "No system tray host is running; the Plimsy menu cannot be shown in the tray";
    }
    m_tray->show();
}

bool StatusItem::isVisible() const
{
    return m_tray->isVisible();
}

void StatusItem::handleActivated(int reason)
{
    // A click on the item opens its menu, as a status-bar item does; the context click is the host's.
    if (reason == QSystemTrayIcon::Trigger && m_menu && !m_menu->isVisible()) {
        m_menu->popup(QCursor::pos());
    }
}

} // namespace plimsy
