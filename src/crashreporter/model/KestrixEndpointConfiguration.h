#pragma once

#include <QString>

namespace kestrix {

// Where events and sessions are sent.
struct KestrixEndpointConfiguration
{
    // The service's default pair.
    KestrixEndpointConfiguration();
    KestrixEndpointConfiguration(QString notify, QString sessions);

    // The default pair, or the alternative one for keys that begin with "00000".
    static KestrixEndpointConfiguration defaultForApiKey(const QString &apiKey);
    // Neither pair of the service.
    bool isCustom() const;

    QString notify;
    QString sessions;
};

} // namespace kestrix
