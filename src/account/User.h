#pragma once

#include <QJsonObject>
#include <QString>

namespace plimsy {

// The user signed in to the account backend.
struct User
{
    QString id;
    QString email;
    QString name;

    bool operator==(const User &) const = default;

    // "id" may be a JSON integer or a string; "email" is required; a missing or null "name" reads as
    // empty. Throws DecodingError.
    static User fromJson(const QJsonObject &json, const QString &path = QStringLiteral("user"));
    // All three members as strings.
    QJsonObject toJson() const;
};

} // namespace plimsy
