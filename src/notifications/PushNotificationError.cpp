#include "notifications/PushNotificationError.h"

namespace plimsy {

PushNotificationError::PushNotificationError(Case errorCase, QString message)
    : m_case(errorCase)
    , m_message(std::move(message))
    , m_what(m_message.toUtf8())
{
}

PushNotificationError PushNotificationError::notAuthenticated()
{
    return {Case::NotAuthenticated, QStringLiteral("Please sign in to enable notifications")};
}

PushNotificationError PushNotificationError::permissionDenied()
{
    return {Case::PermissionDenied, QStringLiteral("Notification permission was denied")};
}

PushNotificationError PushNotificationError::noAPNSToken()
{
    return {Case::NoAPNSToken, QStringLiteral("Failed to get push notification token")};
}

PushNotificationError PushNotificationError::unavailable(const QString &reason)
{
    return {Case::Unavailable, reason};
}

PushNotificationError PushNotificationError::cancelled()
{
    return {Case::Cancelled, QStringLiteral("The wait for the push notification token was cancelled")};
}

} // namespace plimsy
