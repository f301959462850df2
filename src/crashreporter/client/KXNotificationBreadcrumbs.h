#pragma once

#include "crashreporter/client/KXBreadcrumbSink.h"
#include "crashreporter/model/KestrixConfiguration.h"
#include "platform/NotificationCenter.h"

#include <QObject>

#include <memory>

namespace kestrix {

// Leaves a breadcrumb for each application notice worth one: the application becoming active or
// not, windows opening, closing and taking focus, menu actions, table selections, text editing and
// thermal changes.
class KXNotificationBreadcrumbs
{
public:
    // The sink and the configuration must outlive this object (the client owns all three).
    KXNotificationBreadcrumbs(const KestrixConfiguration &configuration,
                              KXBreadcrumbSink *sink,
                              plimsy::NotificationCenter &center = plimsy::NotificationCenter::defaultCenter());
    ~KXNotificationBreadcrumbs();

    // Observes the notices of the breadcrumb types the configuration records.
    void start();
    // Every later posting of `name` leaves a state breadcrumb.
    void startListeningForStateChangeNotification(const QString &name);

    // The table's message, else the name with every "Notification" taken out.
    static QString messageForNotificationName(const QString &name);
    void addBreadcrumb(KestrixBreadcrumbType type, const QString &notificationName, const QJsonObject &metadata = {});

    void addBreadcrumbForNotification(const plimsy::Notification &notification);
    void addBreadcrumbForMenuItemNotification(const plimsy::Notification &notification);
    void addBreadcrumbForTableViewNotification(const plimsy::Notification &notification);
    void addBreadcrumbForControlNotification(const plimsy::Notification &notification);
    void thermalStateDidChange(const plimsy::Notification &notification);
    // A state breadcrumb describing the window, for window notices sent by a window.
    bool tryAddWindowNotification(const plimsy::Notification &notification);

private:
    void observe(const QString &name, void (KXNotificationBreadcrumbs::*handler)(const plimsy::Notification &));

    const KestrixConfiguration &m_configuration;
    KXBreadcrumbSink *m_sink;
    plimsy::NotificationCenter &m_center;
    // Observers go away with it.
    std::unique_ptr<QObject> m_observerContext;
};

} // namespace kestrix
