#pragma once

#include "platform/HttpSession.h"

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>

#include <optional>

namespace plimsy {

// What of a Forge exchange reaches the log: the one place that decides it. Credentials (Authorization,
// Cookie, Set-Cookie) show as <HIDDEN>. Bodies are written only while verbose logging is on, and never
// those of a site's paths (its listings, content, deployments and webhooks: they carry environment text,
// deploy scripts, deploy-trigger tokens and webhook addresses) nor of server logs, commands and SSH keys.
// In a body that is written, deploy-trigger query values and webhook addresses still show as <HIDDEN>.
namespace ForgeTrace {

// The request and response blocks, in the "Plimsy" log.
void logRequest(const QNetworkRequest &request, const QByteArray &method, const QByteArray &body, const QString &path);
void logResponse(const HttpResponse &response, const QString &path);

// The body of a request or answer of `path` as the log may show it, at most `limit` user-perceived
// characters; none when it may not be shown at all.
std::optional<QString> loggableBody(const QByteArray &data, const QString &path, int limit = -1);

// The text of UTF-8 data; none when it is not valid UTF-8.
std::optional<QString> utf8Text(const QByteArray &data);

} // namespace ForgeTrace

} // namespace plimsy
