#include "crashreporter/model/KestrixNotifier.h"

#include <QJsonArray>

namespace kestrix {

KestrixNotifier::KestrixNotifier()
    // The intake reads the name and version; the address is the product's own.
    : name(QStringLiteral("OSX Kestrix Notifier"))
    , version(QStringLiteral("6.34.1"))
    , url(QStringLiteral("https://plimsy.tindrel.com"))
{
}

KestrixNotifier::KestrixNotifier(QString name, QString version, QString url, std::vector<KestrixNotifier> dependencies)
    : name(std::move(name))
    , version(std::move(version))
    , url(std::move(url))
    , dependencies(std::move(dependencies))
{
}

QJsonObject KestrixNotifier::toDict() const
{
    QJsonObject json{
        {QStringLiteral("name"), name}, {QStringLiteral("version"), version}, {QStringLiteral("url"), url}};
    if (!dependencies.empty()) {
        QJsonArray list;
        for (const KestrixNotifier &dependency : dependencies) {
            list.append(dependency.toDict());
        }
        json.insert(QStringLiteral("dependencies"), list);
    }
    return json;
}

} // namespace kestrix
