#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace plimsy {

// Why switching push notifications on failed, in the words the user sees.
class PushNotificationError : public std::exception
{
public:
    enum class Case
    {
        NotAuthenticated,
        PermissionDenied,
        NoAPNSToken,
        // This platform has no push service; the message is the transport's reason.
        Unavailable,
        Cancelled,
    };

    static PushNotificationError notAuthenticated();
    static PushNotificationError permissionDenied();
    static PushNotificationError noAPNSToken();
    static PushNotificationError unavailable(const QString &reason);
    static PushNotificationError cancelled();

    Case errorCase() const { return m_case; }
    QString userMessage() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    PushNotificationError(Case errorCase, QString message);

    Case m_case;
    QString m_message;
    QByteArray m_what;
};

} // namespace plimsy
