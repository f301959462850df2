#include "notifications/SiteMonitorError.h"

#include <QCoreApplication>

namespace plimsy {

QString description(SiteMonitorError error)
{
    // The English text is the key: a translation table may replace it, none shows it as it is.
    const char *text = "Unknown error.";
    switch (error) {
    case SiteMonitorError::NoResponseCode:
        text = "No HTTP response code from site.";
        break;
    case SiteMonitorError::NotFound:
        text = "404 Not Found. The requested resource could not be found";
        break;
    case SiteMonitorError::Forbidden:
        text = "403 Forbidden. The request was valid, but the server is refusing action.";
        break;
    case SiteMonitorError::InternalServerError:
        text = "500 Internal Server Error";
        break;
    case SiteMonitorError::UnKnown:
        break;
    case SiteMonitorError::BadGateway:
        text = "502 Bad Gateway";
        break;
    }
    return QCoreApplication::translate("SiteMonitorError", text);
}

QString description(const SiteCheckError &error)
{
    if (const auto *fixed = std::get_if<SiteMonitorError>(&error)) {
        return description(*fixed);
    }
    if (const auto *connection = std::get_if<ServerConnectionError>(&error)) {
        return connection->description();
    }
    return std::get<ForgeAPIError>(error).errorDescription();
}

} // namespace plimsy
