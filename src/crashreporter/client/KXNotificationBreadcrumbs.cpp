#include "crashreporter/client/KXNotificationBreadcrumbs.h"

#include "crashreporter/core/KXRunContextData.h"
#include "crashreporter/support/KXRunContext.h"

#include <QHash>
#include <QVariant>

#include <atomic>

namespace kestrix {

namespace {

const QHash<QString, QString> &messages()
{
    static const QHash<QString, QString> map{
        {QStringLiteral("NSProcessInfoThermalStateDidChangeNotification"), QStringLiteral("Thermal State Changed")},
        {QStringLiteral("NSUndoManagerDidRedoChangeNotification"), QStringLiteral("Redo Operation")},
        {QStringLiteral("NSUndoManagerDidUndoChangeNotification"), QStringLiteral("Undo Operation")},
        {QStringLiteral("NSApplicationDidBecomeActiveNotification"), QStringLiteral("App Became Active")},
        {QStringLiteral("NSApplicationDidHideNotification"), QStringLiteral("App Did Hide")},
        {QStringLiteral("NSApplicationDidResignActiveNotification"), QStringLiteral("App Resigned Active")},
        {QStringLiteral("NSApplicationDidUnhideNotification"), QStringLiteral("App Did Unhide")},
        {QStringLiteral("NSApplicationWillTerminateNotification"), QStringLiteral("App Will Terminate")},
        {QStringLiteral("NSControlTextDidBeginEditingNotification"), QStringLiteral("Control Text Began Edit")},
        {QStringLiteral("NSControlTextDidEndEditingNotification"), QStringLiteral("Control Text Ended Edit")},
        {QStringLiteral("NSMenuWillSendActionNotification"), QStringLiteral("Menu Will Send Action")},
        {QStringLiteral("NSTableViewSelectionDidChangeNotification"), QStringLiteral("TableView Select Change")},
        {QStringLiteral("NSWindowDidBecomeKeyNotification"), QStringLiteral("Window Became Key")},
        {QStringLiteral("NSWindowDidEnterFullScreenNotification"), QStringLiteral("Window Entered Full Screen")},
        {QStringLiteral("NSWindowDidExitFullScreenNotification"), QStringLiteral("Window Exited Full Screen")},
        {QStringLiteral("NSWindowWillCloseNotification"), QStringLiteral("Window Will Close")},
        {QStringLiteral("NSWindowWillMiniaturizeNotification"), QStringLiteral("Window Will Miniaturize")},
        {QStringLiteral("NSWorkspaceScreensDidSleepNotification"), QStringLiteral("Workspace Screen Slept")},
        {QStringLiteral("NSWorkspaceScreensDidWakeNotification"), QStringLiteral("Workspace Screen Awoke")},
    };
    return map;
}

const char *const StateNotifications[] = {
    "NSUndoManagerDidRedoChangeNotification",
    "NSUndoManagerDidUndoChangeNotification",
    "NSApplicationDidBecomeActiveNotification",
    "NSApplicationDidResignActiveNotification",
    "NSApplicationDidHideNotification",
    "NSApplicationDidUnhideNotification",
    "NSApplicationWillTerminateNotification",
    "NSWindowDidBecomeKeyNotification",
    "NSWindowDidEnterFullScreenNotification",
    "NSWindowDidExitFullScreenNotification",
    "NSWindowWillCloseNotification",
    "NSWindowWillMiniaturizeNotification",
};

// The last thermal state a breadcrumb recorded, for the whole process.
std::atomic<uint64_t> s_lastThermalState{0};

QString textProperty(const QObject *object, const char *name)
{
    return object->property(name).toString();
}

void insertText(QJsonObject &metadata, const char *key, const QString &text)
{
    if (!text.isEmpty()) {
        metadata.insert(QLatin1String(key), text);
    }
}

} // namespace

KXNotificationBreadcrumbs::KXNotificationBreadcrumbs(const KestrixConfiguration &configuration,
                                                     KXBreadcrumbSink *sink,
                                                     plimsy::NotificationCenter &center)
    : m_configuration(configuration)
    , m_sink(sink)
    , m_center(center)
    , m_observerContext(std::make_unique<QObject>())
{
}

KXNotificationBreadcrumbs::~KXNotificationBreadcrumbs() = default;

void KXNotificationBreadcrumbs::observe(const QString &name,
                                        void (KXNotificationBreadcrumbs::*handler)(const plimsy::Notification &))
{
    m_center.addObserver(name, m_observerContext.get(), [this, handler](const plimsy::Notification &notification) {
        (this->*handler)(notification);
    });
}

void KXNotificationBreadcrumbs::start()
{
    // No desktop here posts the workspace's screen sleep and wake notices.
    if (m_configuration.shouldRecordBreadcrumbType(KestrixBreadcrumbType::State)) {
        for (const char *name : StateNotifications) {
            observe(QLatin1String(name), &KXNotificationBreadcrumbs::addBreadcrumbForNotification);
        }
        observe(QStringLiteral("NSMenuWillSendActionNotification"),
                &KXNotificationBreadcrumbs::addBreadcrumbForMenuItemNotification);
        observe(QStringLiteral("NSProcessInfoThermalStateDidChangeNotification"),
                &KXNotificationBreadcrumbs::thermalStateDidChange);
    }
    if (m_configuration.shouldRecordBreadcrumbType(KestrixBreadcrumbType::Navigation)) {
        observe(QStringLiteral("NSTableViewSelectionDidChangeNotification"),
                &KXNotificationBreadcrumbs::addBreadcrumbForTableViewNotification);
    }
    if (m_configuration.shouldRecordBreadcrumbType(KestrixBreadcrumbType::User)) {
        observe(QStringLiteral("NSControlTextDidBeginEditingNotification"),
                &KXNotificationBreadcrumbs::addBreadcrumbForControlNotification);
        observe(QStringLiteral("NSControlTextDidEndEditingNotification"),
                &KXNotificationBreadcrumbs::addBreadcrumbForControlNotification);
    }
}

void KXNotificationBreadcrumbs::startListeningForStateChangeNotification(const QString &name)
{
    observe(name, &KXNotificationBreadcrumbs::addBreadcrumbForNotification);
}

QString KXNotificationBreadcrumbs::messageForNotificationName(const QString &name)
{
    const auto known = messages().constFind(name);
    if (known != messages().constEnd()) {
        return *known;
    }
    return QString(name).remove(QStringLiteral("Notification"));
}

void KXNotificationBreadcrumbs::addBreadcrumb(KestrixBreadcrumbType type,
                                              const QString &notificationName,
                                              const QJsonObject &metadata)
{
    m_sink->leaveBreadcrumb(messageForNotificationName(notificationName), metadata, type);
}

void KXNotificationBreadcrumbs::addBreadcrumbForNotification(const plimsy::Notification &notification)
{
    if (!tryAddWindowNotification(notification)) {
        addBreadcrumb(KestrixBreadcrumbType::State, notification.name);
    }
}

bool KXNotificationBreadcrumbs::tryAddWindowNotification(const plimsy::Notification &notification)
{
    const QObject *window = notification.object;
    if (!notification.name.startsWith(QLatin1String("NSWindow")) || window == nullptr
        || !(window->isWindowType() || window->isWidgetType())) {
        return false;
    }
    QJsonObject metadata;
    const QString objectName = window->objectName();
    const QString className = QString::fromLatin1(window->metaObject()->className());
    insertText(metadata,
               "description",
               objectName.isEmpty() ? className : QStringLiteral("%1(%2)").arg(className, objectName));
    // Widgets name their title "windowTitle"; windows "title".
    const QString title = textProperty(window, window->isWidgetType() ? "windowTitle" : "title");
    insertText(metadata, "title", title);
    insertText(metadata, "representedURL", textProperty(window, "windowFilePath"));
    addBreadcrumb(KestrixBreadcrumbType::State, notification.name, metadata);
    return true;
}

void KXNotificationBreadcrumbs::addBreadcrumbForTableViewNotification(const plimsy::Notification &notification)
{
    QJsonObject metadata;
    if (notification.object != nullptr) {
        metadata.insert(QStringLiteral("selectedRow"), notification.object->property("selectedRow").toInt());
        metadata.insert(QStringLiteral("selectedColumn"), notification.object->property("selectedColumn").toInt());
    }
    addBreadcrumb(KestrixBreadcrumbType::Navigation, notification.name, metadata);
}

void KXNotificationBreadcrumbs::addBreadcrumbForMenuItemNotification(const plimsy::Notification &notification)
{
    QJsonObject metadata;
    const QVariant item = notification.userInfo.value(QStringLiteral("MenuItem"));
    // The item itself (its "text"), or its title as the platform posts it.
    if (const QObject *action = item.value<QObject *>()) {
        insertText(metadata, "action", textProperty(action, "text"));
    } else if (item.typeId() == QMetaType::QString) {
        insertText(metadata, "action", item.toString());
    }
    addBreadcrumb(KestrixBreadcrumbType::State, notification.name, metadata);
}

void KXNotificationBreadcrumbs::addBreadcrumbForControlNotification(const plimsy::Notification &notification)
{
    QJsonObject metadata;
    if (notification.object != nullptr) {
        insertText(metadata, "label", textProperty(notification.object, "accessibleName"));
    }
    addBreadcrumb(KestrixBreadcrumbType::User, notification.name, metadata);
}

void KXNotificationBreadcrumbs::thermalStateDidChange(const plimsy::Notification &notification)
{
    const KXRunContextData *context = kxrunContext();
    const uint64_t state = context != nullptr ? __atomic_load_n(&context->thermalState, __ATOMIC_RELAXED) : 0;
    const uint64_t last = s_lastThermalState.exchange(state);
    if (state == last) {
        return;
    }
    QJsonObject metadata;
    insertText(metadata, "from", KXRunContext::thermalStateName(last));
    insertText(metadata, "to", KXRunContext::thermalStateName(state));
    addBreadcrumb(KestrixBreadcrumbType::State, notification.name, metadata);
}

} // namespace kestrix
