#pragma once

#include <QString>

namespace kestrix {

// Where events and sessions are sent.
struct KestrixEndpointConfiguration
{
    // The service's default pair: empty, as Plimsy has no intake of its own.
    KestrixEndpointConfiguration();
    KestrixEndpointConfiguration(QString notify, QString sessions);

    // The default pair for any key (the alternative pair of keys that begin with "00000" is empty too).
    static KestrixEndpointConfiguration defaultForApiKey(const QString &apiKey);
    // Neither pair of the service: an address was given.
    bool isCustom() const;

    QString notify;
    QString sessions;
};

} // namespace kestrix
