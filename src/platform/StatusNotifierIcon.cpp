#include "platform/StatusNotifierIcon.h"

#include "platform/GlobalShortcut.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QDir>
#include <QImage>
#include <QLoggingCategory>
#include <QMetaClassInfo>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcStatusNotifierIcon, "plimsy.statusitem")

namespace plimsy {

QDBusArgument &operator<<(QDBusArgument &argument, const StatusIconPixmap &pixmap)
{
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StatusIconPixmap &pixmap)
{
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const StatusToolTip &tip)
{
    argument.beginStructure();
    argument << tip.iconName << tip.pixmaps << tip.title << tip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, StatusToolTip &tip)
{
    argument.beginStructure();
    argument >> tip.iconName >> tip.pixmaps >> tip.title >> tip.description;
    argument.endStructure();
    return argument;
}

namespace {

const QString ItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
// Qt names each tray's connection after the item it exports and numbers the trays of the process from 1.
constexpr int MostTrays = 256;
constexpr int PixmapSides[] = {16, 22, 24, 32, 48};

QString connectionName(int tray)
{
    return QStringLiteral("org.kde.StatusNotifierItem-%1-%2").arg(QCoreApplication::applicationPid()).arg(tray);
}

QObject *itemAdaptor(QObject *item)
{
    for (QDBusAbstractAdaptor *adaptor : item->findChildren<QDBusAbstractAdaptor *>(Qt::FindDirectChildrenOnly)) {
        const QMetaObject *meta = adaptor->metaObject();
        const int info = meta->indexOfClassInfo("D-Bus Interface");
        if (info >= 0 && ItemInterface == QLatin1String(meta->classInfo(info).value())) {
            return adaptor;
        }
    }
    return nullptr;
}

StatusIconPixmaps pixmapsOf(const QIcon &icon)
{
    StatusIconPixmaps pixmaps;
    for (const int side : PixmapSides) {
        const QImage image = icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) {
            continue;
        }
        QByteArray bytes(qsizetype(image.width()) * image.height() * 4, Qt::Uninitialized);
        auto *out = reinterpret_cast<uchar *>(bytes.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x, out += 4) {
                qToBigEndian(line[x], out);
            }
        }
        pixmaps.append({image.width(), image.height(), bytes});
    }
    return pixmaps;
}

} // namespace

StatusNotifierIcon *StatusNotifierIcon::takeOver(QObject *parent)
{
    static const bool s_registered = [] {
        qDBusRegisterMetaType<StatusIconPixmap>();
        qDBusRegisterMetaType<StatusIconPixmaps>();
        qDBusRegisterMetaType<StatusToolTip>();
        return true;
    }();
    Q_UNUSED(s_registered)
    // The newest tray first: the caller has just shown its own.
    for (int tray = MostTrays; tray >= 1; --tray) {
        const QString name = connectionName(tray);
        QDBusConnection bus(name);
        QObject *item = bus.isConnected() ? bus.objectRegisteredAt(QLatin1String(ItemPath)) : nullptr;
        if (!item || qobject_cast<StatusNotifierIcon *>(item) || !itemAdaptor(item)) {
            continue;
        }
        auto *icon = new StatusNotifierIcon(name, itemAdaptor(item), parent);
        bus.unregisterObject(QLatin1String(ItemPath));
        if (!bus.registerObject(QLatin1String(ItemPath),
                                icon,
                                QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                    | QDBusConnection::ExportAllProperties)) {
            qCWarning(lcStatusNotifierIcon) << "The tray item could not be exported with its icon name";
            bus.registerObject(QLatin1String(ItemPath), item, QDBusConnection::ExportAdaptors);
            delete icon;
            return nullptr;
        }
        return icon;
    }
    return nullptr;
}

StatusNotifierIcon::StatusNotifierIcon(const QString &connectionName, QObject *qtAdaptor, QObject *parent)
    : QObject(parent)
    , m_connectionName(connectionName)
    , m_qtAdaptor(qtAdaptor)
{
    // Qt's item no longer speaks on the bus: what it announces, this object does.
    connect(qtAdaptor, SIGNAL(NewTitle()), this, SIGNAL(NewTitle()));
    connect(qtAdaptor, SIGNAL(NewMenu()), this, SIGNAL(NewMenu()));
    connect(qtAdaptor, SIGNAL(NewStatus(QString)), this, SIGNAL(NewStatus(QString)));
}

StatusNotifierIcon::~StatusNotifierIcon()
{
    QDBusConnection bus(m_connectionName);
    if (bus.objectRegisteredAt(QLatin1String(ItemPath)) == this) {
        bus.unregisterObject(QLatin1String(ItemPath));
    }
}

QString StatusNotifierIcon::themePath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../share/plimsy/icons"));
}

QString StatusNotifierIcon::symbolicName(const QString &imageName)
{
    if (imageName.isEmpty()) {
        return {};
    }
    return QStringLiteral("plimsy-%1-symbolic").arg(QString(imageName).replace(u'_', u'-'));
}

void StatusNotifierIcon::setIcon(const QString &iconName, const QIcon &pixmaps)
{
    m_iconName = iconName;
    m_pixmaps = pixmapsOf(pixmaps);
    Q_EMIT NewIcon();
    Q_EMIT NewToolTip();
}

void StatusNotifierIcon::setToolTip(const QString &text)
{
    m_toolTip = text;
    Q_EMIT NewToolTip();
}

QVariant StatusNotifierIcon::qtProperty(const char *name) const
{
    return m_qtAdaptor ? m_qtAdaptor->property(name) : QVariant();
}

QString StatusNotifierIcon::category() const
{
    return qtProperty("Category").toString();
}

QString StatusNotifierIcon::id() const
{
    return qtProperty("Id").toString();
}

QString StatusNotifierIcon::title() const
{
    return qtProperty("Title").toString();
}

QString StatusNotifierIcon::status() const
{
    return qtProperty("Status").toString();
}

int StatusNotifierIcon::windowId() const
{
    return qtProperty("WindowId").toInt();
}

bool StatusNotifierIcon::itemIsMenu() const
{
    // Over Wayland an XWayland client cannot learn where the pointer is, and a host's Activate point is
    // inside its own icon: a host that shows our exported menu itself has the compositor place it there.
    return GlobalShortcut::isWaylandSession(QProcessEnvironment::systemEnvironment())
           || qtProperty("ItemIsMenu").toBool();
}

QDBusObjectPath StatusNotifierIcon::menu() const
{
    return qtProperty("Menu").value<QDBusObjectPath>();
}

QString StatusNotifierIcon::iconThemePath() const
{
    return themePath();
}

void StatusNotifierIcon::forward(const char *method, QGenericArgument first, QGenericArgument second)
{
    if (m_qtAdaptor) {
        QMetaObject::invokeMethod(m_qtAdaptor, method, first, second);
    }
}

void StatusNotifierIcon::ContextMenu(int x, int y)
{
    forward("ContextMenu", Q_ARG(int, x), Q_ARG(int, y));
}

void StatusNotifierIcon::Activate(int x, int y)
{
    m_activationPoint = QPoint(x, y);
    forward("Activate", Q_ARG(int, x), Q_ARG(int, y));
}

void StatusNotifierIcon::SecondaryActivate(int x, int y)
{
    forward("SecondaryActivate", Q_ARG(int, x), Q_ARG(int, y));
}

void StatusNotifierIcon::Scroll(int delta, const QString &orientation)
{
    forward("Scroll", Q_ARG(int, delta), Q_ARG(QString, orientation));
}

void StatusNotifierIcon::ProvideXdgActivationToken(const QString &token)
{
    forward("ProvideXdgActivationToken", Q_ARG(QString, token));
}

} // namespace plimsy
