#pragma once

#include "account/User.h"

#include <QJsonObject>
#include <QString>

namespace plimsy {

// What a completed sign-in delivers: who signed in and the access token issued for this device.
struct AuthResponse
{
    User user;
    QString accessToken;
    // False when the secret store refused the token: the sign-in holds for this run only. Not sent.
    bool isStored = true;

    bool operator==(const AuthResponse &) const = default;

    // Members "user" and "access_token". Throws DecodingError.
    static AuthResponse fromJson(const QJsonObject &json, const QString &path = QString());
    QJsonObject toJson() const;
};

} // namespace plimsy
