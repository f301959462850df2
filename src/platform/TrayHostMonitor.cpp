#include "platform/TrayHostMonitor.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <functional>

namespace plimsy {

namespace {

constexpr char WatcherInterface[] = "org.kde.StatusNotifierWatcher";
constexpr char PropertiesInterface[] = "org.freedesktop.DBus.Properties";

} // namespace

// The XEmbed tray of the first X11 screen: the owner of the "_NET_SYSTEM_TRAY_S0" selection. A tray that
// starts says so with a MANAGER message to the root window; one that ends destroys its window.
class TrayHostMonitor::XEmbedTray final : public QAbstractNativeEventFilter
{
public:
    XEmbedTray(xcb_connection_t *connection, std::function<void(bool)> changed)
        : m_connection(connection)
        , m_changed(std::move(changed))
        , m_root(xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root)
        , m_selection(internAtom("_NET_SYSTEM_TRAY_S0"))
        , m_manager(internAtom("MANAGER"))
    {
        // The MANAGER message is sent with StructureNotify: add it to what Qt selected on the root window.
        xcb_get_window_attributes_reply_t *root =
            xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_root), nullptr);
        const uint32_t mask = (root ? root->your_event_mask : 0) | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        std::free(root);
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
        findOwner();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }

    ~XEmbedTray() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool isPresent() const { return m_owner != XCB_WINDOW_NONE; }

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override
    {
        if (eventType != "xcb_generic_event_t") {
            return false;
        }
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CLIENT_MESSAGE) {
            const auto *client = reinterpret_cast<const xcb_client_message_event_t *>(event);
            if (client->type == m_manager && client->data.data32[1] == m_selection) {
                findOwner();
                m_changed(isPresent());
            }
        } else if (type == XCB_DESTROY_NOTIFY && isPresent()) {
            if (reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window == m_owner) {
                findOwner();
                m_changed(isPresent());
            }
        }
        return false;
    }

private:
    xcb_atom_t internAtom(const char *name) const
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    void findOwner()
    {
        xcb_get_selection_owner_reply_t *reply =
            xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, m_selection), nullptr);
        m_owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
        std::free(reply);
        if (m_owner != XCB_WINDOW_NONE) {
            // Its DestroyNotify tells when the tray ends; the window may already be gone, which is no error here.
            const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            std::free(xcb_request_check(
                m_connection, xcb_change_window_attributes_checked(m_connection, m_owner, XCB_CW_EVENT_MASK, &mask)));
        }
    }

    xcb_connection_t *m_connection;
    std::function<void(bool)> m_changed;
    xcb_window_t m_root;
    xcb_atom_t m_selection;
    xcb_atom_t m_manager;
    xcb_window_t m_owner = XCB_WINDOW_NONE;
};

TrayHostMonitor::TrayHostMonitor(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QLatin1String(WatcherService);
    auto *watcher = new QDBusServiceWatcher(service, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHostMonitor::askWatcher);
    for (const char *signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
        bus.connect(service,
                    QLatin1String(WatcherPath),
                    QLatin1String(WatcherInterface),
                    QLatin1String(signal),
                    this,
                    SLOT(handleWatcherSignal()));
    }
    // The offscreen platform answers for X11 too, without an xcb connection.
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (xcb_connection_t *connection = x11 ? x11->connection() : nullptr) {
        m_xembed = std::make_unique<XEmbedTray>(connection, [this](bool present) { setXEmbedTray(present); });
        m_hasXEmbedTray = m_xembed->isPresent();
    }
    askWatcher();
}

TrayHostMonitor::~TrayHostMonitor() = default;

void TrayHostMonitor::handleWatcherSignal()
{
    askWatcher();
}

void TrayHostMonitor::askWatcher()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        setStatusNotifierHost(false);
        return;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(WatcherService),
                                                      QLatin1String(WatcherPath),
                                                      QLatin1String(PropertiesInterface),
                                                      QStringLiteral("Get"));
    get << QLatin1String(WatcherInterface) << QStringLiteral("IsStatusNotifierHostRegistered");
    // No watcher running is an answer too; starting one would not bring a host.
    get.setAutoStartService(false);
    // Only the newest question counts: answers may overtake each other while the watcher comes and goes.
    const quint64 question = ++m_question;
    auto *call = new QDBusPendingCallWatcher(bus.asyncCall(get), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, question](QDBusPendingCallWatcher *answer) {
        answer->deleteLater();
        if (question != m_question) {
            return;
        }
        const QDBusPendingReply<QDBusVariant> reply = *answer;
        setStatusNotifierHost(!reply.isError() && reply.value().variant().toBool());
    });
}

void TrayHostMonitor::setStatusNotifierHost(bool registered)
{
    const bool wasHost = hasHost();
    const bool wasKnown = m_isKnown;
    m_hasStatusNotifierHost = registered;
    m_isKnown = true;
    if (!wasKnown || wasHost != hasHost()) {
        Q_EMIT hostChanged(hasHost());
    }
}

void TrayHostMonitor::setXEmbedTray(bool present)
{
    const bool wasHost = hasHost();
    m_hasXEmbedTray = present;
    if (m_isKnown && wasHost != hasHost()) {
        Q_EMIT hostChanged(hasHost());
    }
}

} // namespace plimsy
