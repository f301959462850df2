#pragma once

#include <QJsonObject>
#include <QString>

#include <vector>

namespace kestrix {

// Names the reporting library in every payload.
struct KestrixNotifier
{
    // This library: its name, version and address.
    KestrixNotifier();
    KestrixNotifier(QString name, QString version, QString url, std::vector<KestrixNotifier> dependencies);

    // "name", "version", "url", and "dependencies" when there are any.
    QJsonObject toDict() const;

    QString name;
    QString version;
    QString url;
    std::vector<KestrixNotifier> dependencies;
};

} // namespace kestrix
