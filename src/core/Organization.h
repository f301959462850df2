#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace plimsy {

// A Forge organisation; Forge paths are built under its slug.
struct Organization
{
    std::optional<qint64> id;
    QString name;
    QString slug;

    bool operator==(const Organization &) const = default;

    static Organization fromJson(const QJsonObject &object, const QString &path);
    QJsonObject toJson() const;
};

} // namespace plimsy
