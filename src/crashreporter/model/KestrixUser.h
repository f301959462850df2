#pragma once

#include <QJsonObject>
#include <QString>

#include <optional>

namespace kestrix {

class KXJSONWriter;

// Who was using the application.
struct KestrixUser
{
    std::optional<QString> id;
    std::optional<QString> name;
    std::optional<QString> email;

    static KestrixUser fromJson(const QJsonObject &json);
    // Members "id", "email", "name"; absent values are left out.
    QJsonObject toJson() const;
    void writeJson(KXJSONWriter &writer, const char *key = nullptr) const;
    // The same with a JSON null for each absent value.
    QJsonObject toJsonWithNulls() const;
    // Itself when it has an id, else the same user identified by the persistent device id.
    KestrixUser withId() const;

    bool operator==(const KestrixUser &) const = default;
};

} // namespace kestrix
