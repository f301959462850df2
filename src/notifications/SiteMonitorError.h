#pragma once

#include "forge/ForgeAPIError.h"

#include <QString>

#include <optional>
#include <variant>

namespace plimsy {

// The fixed ways a site check fails.
enum class SiteMonitorError
{
    NoResponseCode,
    NotFound,
    Forbidden,
    InternalServerError,
    UnKnown,
    BadGateway,
};

QString description(SiteMonitorError error);

// Any other failure of a check, in the words that describe it (curl's own, or a fixed text).
struct ServerConnectionError
{
    std::optional<QString> errorDescription;

    QString description() const { return errorDescription.value_or(QString()); }
    bool operator==(const ServerConnectionError &) const = default;
};

// Why a site counts as down; its description is the site's "down" message.
using SiteCheckError = std::variant<SiteMonitorError, ServerConnectionError, ForgeAPIError>;

QString description(const SiteCheckError &error);

} // namespace plimsy
