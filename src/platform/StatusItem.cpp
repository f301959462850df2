#include "platform/StatusItem.h"

#include "platform/DBusMenuExporter.h"
#include "platform/StatusNotifierIcon.h"
#include "platform/TemplateImage.h"
#include "platform/TrayHostMonitor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>

#include <algorithm>

Q_LOGGING_CATEGORY(lcStatusItem, "plimsy.statusitem")

namespace plimsy {

StatusItem::StatusItem(QObject *parent)
    : QObject(parent)
    , m_hosts(new TrayHostMonitor(this))
{
    connect(m_hosts, &TrayHostMonitor::hostChanged, this, &StatusItem::handleHostChanged);
}

StatusItem::~StatusItem() = default;

void StatusItem::setMenu(QMenu *menu)
{
    if (m_menu) {
        disconnect(m_menu, nullptr, this, nullptr);
    }
    m_menu = menu;
    if (m_tray) {
        m_tray->setContextMenu(menu);
    }
    if (m_menuExport) {
        m_menuExport->setMenu(menu);
    } else if (m_export) {
        m_menuExport = DBusMenuExporter::takeOver(m_export->busName(), menu, this);
    }
    if (menu) {
        connect(menu, &QMenu::aboutToShow, this, &StatusItem::menuWillOpen);
        connect(menu, &QMenu::aboutToHide, this, &StatusItem::menuDidClose);
    }
}

QMenu *StatusItem::menu() const
{
    return m_menu;
}

void StatusItem::setImage(const QString &imageName)
{
    m_imageName = imageName;
    m_image = TemplateImage::outlinedNamed(imageName);
    if (m_tray) {
        m_tray->setIcon(m_image);
    }
    if (m_export) {
        m_export->setIcon(StatusNotifierIcon::symbolicName(imageName), m_image);
    }
}

QString StatusItem::imageName() const
{
    return m_imageName;
}

QIcon StatusItem::image() const
{
    return m_image;
}

void StatusItem::setToolTip(const QString &text)
{
    m_toolTip = text;
    if (m_tray) {
        m_tray->setToolTip(text);
    }
    if (m_export) {
        m_export->setToolTip(text);
    }
}

void StatusItem::show()
{
    m_isShown = true;
    if (m_tray) {
        m_tray->show();
        exportIcon();
    }
}

bool StatusItem::isVisible() const
{
    return m_tray && m_tray->isVisible();
}

bool StatusItem::hasHost() const
{
    return m_hosts->hasHost();
}

bool StatusItem::isHostKnown() const
{
    return m_hosts->isKnown();
}

void StatusItem::handleHostChanged(bool hasHost)
{
    if (hasHost && !m_tray) {
        makeTray();
    } else if (!hasHost) {
        qCWarning(lcStatusItem) << "No system tray host is running; the Plimsy menu cannot be shown in the tray";
    }
    Q_EMIT hostChanged(hasHost);
}

void StatusItem::makeTray()
{
    m_tray = new QSystemTrayIcon(this);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        handleActivated(static_cast<int>(reason));
    });
    m_tray->setContextMenu(m_menu);
    m_tray->setIcon(m_image);
    m_tray->setToolTip(m_toolTip);
    m_tray->setVisible(m_isShown);
    if (m_isShown) {
        exportIcon();
    }
}

void StatusItem::exportIcon()
{
    // Qt exports the item when the tray is first shown, with no icon theme of ours.
    if (m_export) {
        return;
    }
    m_export = StatusNotifierIcon::takeOver(this);
    if (m_export) {
        m_export->setToolTip(m_toolTip);
        m_export->setIcon(StatusNotifierIcon::symbolicName(m_imageName), m_image);
        // Null where Qt exported no menu, as without one set yet.
        m_menuExport = DBusMenuExporter::takeOver(m_export->busName(), m_menu, this);
    }
}

namespace {

// A host gives its point in X screen pixels, Qt places windows in device-independent ones: scaled by the
// screen that holds the point, whose top-left corner Qt keeps in screen pixels.
QPoint fromScreenPixels(QPoint point)
{
    for (const QScreen *screen : QGuiApplication::screens()) {
        const QRect geometry = screen->geometry();
        const qreal ratio = screen->devicePixelRatio();
        if (QRect(geometry.topLeft(), (QSizeF(geometry.size()) * ratio).toSize()).contains(point)) {
            return geometry.topLeft() + (QPointF(point - geometry.topLeft()) / ratio).toPoint();
        }
    }
    return point;
}

} // namespace

void StatusItem::handleActivated(int reason)
{
    // A click on the item opens its menu, as a status-bar item does; the context click is the host's.
    if (reason != QSystemTrayIcon::Trigger || !m_menu || m_menu->isVisible()) {
        return;
    }
    // The host's point, where it gives one: under XWayland the cursor is stale while over a Wayland panel.
    const QPoint given = m_export ? m_export->takeActivationPoint() : QPoint();
    m_menu->popup(menuPosition(given.isNull() ? QCursor::pos() : fromScreenPixels(given)));
}

QPoint StatusItem::menuPosition(QPoint point) const
{
    // A point on the panel lies outside the available area: the menu opens beside the panel, off the icon,
    // as the host's own menus do, on the side where it fits.
    const QScreen *screen = QGuiApplication::screenAt(point);
    const QRect area = (screen ? screen : QGuiApplication::primaryScreen())->availableGeometry();
    const QSize size = m_menu->sizeHint();
    QPoint at = point;
    if (at.x() + size.width() > area.right() + 1) {
        at.setX(point.x() - size.width());
    }
    if (at.y() + size.height() > area.bottom() + 1) {
        at.setY(point.y() - size.height());
    }
    at.setX(std::max(area.left(), std::min(at.x(), area.right() + 1 - size.width())));
    at.setY(std::max(area.top(), std::min(at.y(), area.bottom() + 1 - size.height())));
    return at;
}

} // namespace plimsy
