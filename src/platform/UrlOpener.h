#pragma once

#include <QUrl>

namespace plimsy {

// Opens addresses outside the application: web pages in the user's default browser, other schemes in
// their registered handler. Tests pass one that records instead.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;

    // False when no handler accepted the address. GUI thread.
    virtual bool openUrl(const QUrl &url) = 0;

    // The desktop's handlers (xdg-open and the like, through Qt).
    static UrlOpener &system();
};

} // namespace plimsy
