#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <concepts>
#include <functional>
#include <utility>

namespace plimsy {

// A request body of any record type, encoded exactly as the record encodes itself (its toJson()).
class AnyEncodable
{
public:
    template <typename T>
    requires requires(const T &value)
    {
        {
            value.toJson()
            } -> std::convertible_to<QJsonValue>;
    }
    AnyEncodable(T value)
        : m_encode([value = std::move(value)] { return QJsonValue(value.toJson()); })
    {
    }
    AnyEncodable(QJsonObject object)
        : m_encode([object = std::move(object)] { return QJsonValue(object); })
    {
    }

    QJsonValue encode() const { return m_encode(); }

private:
    std::function<QJsonValue()> m_encode;
};

// "commitHash" -> "commit_hash", "URLAlias" -> "url_alias": a word starts at each upper-case letter,
// and a run of capitals ends where a lower-case letter follows. Leading and trailing underscores stay.
QString convertToSnakeCase(const QString &key);
// Every object key at every depth, converted.
QJsonValue snakeCaseKeys(const QJsonValue &value);

} // namespace plimsy
