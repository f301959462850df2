#include "preferences/APIKeyHelp.h"

#include "core/URLConstants.h"
#include "platform/UrlOpener.h"

namespace plimsy {

void openAPIKeyHelp(UrlOpener &opener)
{
    const QUrl url(apiKeyHelpURL(), QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty()) {
        opener.openUrl(url);
    }
}

} // namespace plimsy
